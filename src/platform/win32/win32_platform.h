// The platform of tolv.exe: the default printer records each page as an enhanced metafile with
// GDI and hands the document to a destination (the Windows default printer, or the file printer
// writing ZOBAX.EMF when there is none), picture boxes draw text with GDI, pictures load with WIC.
// There is no window: nothing is ever shown.
#ifndef TOLV_PLATFORM_WIN32_WIN32_PLATFORM_H_
#define TOLV_PLATFORM_WIN32_WIN32_PLATFORM_H_

#include <iosfwd>
#include <memory>
#include <string>

#include "platform/printer_platform.h"

namespace tolv {

class Win32Platform : public PrinterPlatform {
 public:
  // `errors` receives the one line about a document that could not be handed over.
  Win32Platform(std::string program_directory, DestinationFactory find_destination,
                std::ostream& errors);
  Win32Platform(std::string program_directory, DestinationFactory find_destination);

  std::unique_ptr<PictureBox> CreatePictureBox(const PictureBoxDesign& design) override;
  PicturePtr LoadPicture(const std::string& path) override;
  PixelSize PictureSize(const std::string& path) override;

 protected:
  std::unique_ptr<DocumentPrinter> MakePrinter(std::unique_ptr<Destination> destination) override;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_WIN32_PLATFORM_H_
