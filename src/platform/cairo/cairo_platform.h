// The platform tolv runs on: the default printer renders PDF with Cairo and hands it to a
// destination (the spooler's default queue or the file printer), picture boxes draw text with
// Pango, pictures load with gdk-pixbuf. There is no window system.
#ifndef TOLV_PLATFORM_CAIRO_CAIRO_PLATFORM_H_
#define TOLV_PLATFORM_CAIRO_CAIRO_PLATFORM_H_

#include <iosfwd>
#include <memory>
#include <string>

#include "platform/cairo/pango_text.h"
#include "platform/printer_platform.h"

namespace tolv {

class CairoPlatform : public PrinterPlatform {
 public:
  // `errors` receives the one line about a document that could not be handed over.
  CairoPlatform(std::string program_directory, DestinationFactory find_destination,
                std::ostream& errors);
  CairoPlatform(std::string program_directory, DestinationFactory find_destination);

  std::unique_ptr<PictureBox> CreatePictureBox(const PictureBoxDesign& design) override;
  PicturePtr LoadPicture(const std::string& path) override;
  PixelSize PictureSize(const std::string& path) override;

 protected:
  std::unique_ptr<DocumentPrinter> MakePrinter(std::unique_ptr<Destination> destination) override;

 private:
  // Text drawn without a glyph, on the printer or in a picture box whose page it prints.
  std::shared_ptr<MissingFonts> missing_fonts_ = std::make_shared<MissingFonts>();
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_CAIRO_PLATFORM_H_
