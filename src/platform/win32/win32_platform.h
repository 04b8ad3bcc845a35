// The platform of tolv.exe: the default printer is the Windows default printer through GDI (or
// the file printer writing ZOBAX.EMF when there is none), picture boxes draw text with GDI,
// pictures load with WIC. There is no window: nothing is ever shown.
#ifndef TOLV_PLATFORM_WIN32_WIN32_PLATFORM_H_
#define TOLV_PLATFORM_WIN32_WIN32_PLATFORM_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/win32/gdi_printer.h"

namespace tolv {

class Win32Platform : public Platform {
 public:
  // `errors` receives the one line about a document that could not be handed over.
  Win32Platform(std::string program_directory, std::ostream& errors);
  explicit Win32Platform(std::string program_directory);

  std::string ProgramDirectory() override { return program_directory_; }
  Printer& DefaultPrinter() override;
  std::unique_ptr<PictureBox> CreatePictureBox(const PictureBoxDesign& design) override;
  PicturePtr LoadPicture(const std::string& path) override;
  PixelSize PictureSize(const std::string& path) override;
  void DoEvents() override {}
  int EndProgram() override;

 private:
  std::string program_directory_;
  std::ostream& errors_;
  std::unique_ptr<GdiPrinter> printer_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_WIN32_PLATFORM_H_
