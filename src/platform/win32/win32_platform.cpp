#include "platform/win32/win32_platform.h"

#include <iostream>
#include <utility>

#include "destination/exit_status.h"
#include "platform/win32/gdi_picture_box.h"
#include "platform/win32/wic_picture_loader.h"

namespace tolv {

Win32Platform::Win32Platform(std::string program_directory, std::ostream& errors)
    : program_directory_(std::move(program_directory)), errors_(errors) {}

Win32Platform::Win32Platform(std::string program_directory)
    : Win32Platform(std::move(program_directory), std::cerr) {}

Printer& Win32Platform::DefaultPrinter() {
  if (!printer_) printer_ = std::make_unique<GdiPrinter>(FindDefaultPrinter(), program_directory_);
  return *printer_;
}

std::unique_ptr<PictureBox> Win32Platform::CreatePictureBox(const PictureBoxDesign& design) {
  return std::make_unique<GdiPictureBox>(design);
}

PicturePtr Win32Platform::LoadPicture(const std::string& path) { return LoadPictureWic(path); }

PixelSize Win32Platform::PictureSize(const std::string& path) {
  return ReadPictureSize(path, [&] { return LoadPictureWic(path); });
}

int Win32Platform::EndProgram() {
  if (!printer_) return 0;
  return ExitStatusAfterHandOver(printer_->Finish(), errors_);
}

}  // namespace tolv
