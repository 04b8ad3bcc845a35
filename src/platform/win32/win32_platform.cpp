#include "platform/win32/win32_platform.h"

#include <iostream>
#include <utility>

#include "platform/win32/gdi_picture_box.h"
#include "platform/win32/gdi_printer.h"
#include "platform/win32/wic_picture_loader.h"

namespace tolv {

Win32Platform::Win32Platform(std::string program_directory, DestinationFactory find_destination,
                             std::ostream& errors)
    : PrinterPlatform(std::move(program_directory), std::move(find_destination), errors) {}

Win32Platform::Win32Platform(std::string program_directory, DestinationFactory find_destination)
    : Win32Platform(std::move(program_directory), std::move(find_destination), std::cerr) {}

std::unique_ptr<DocumentPrinter> Win32Platform::MakePrinter(
    std::unique_ptr<Destination> destination) {
  return std::make_unique<GdiPrinter>(std::move(destination));
}

std::unique_ptr<PictureBox> Win32Platform::CreatePictureBox(const PictureBoxDesign& design) {
  return std::make_unique<GdiPictureBox>(design);
}

PicturePtr Win32Platform::LoadPicture(const std::string& path) { return LoadPictureWic(path); }

PixelSize Win32Platform::PictureSize(const std::string& path) {
  return ReadPictureSize(path, [&] { return LoadPictureWic(path); });
}

}  // namespace tolv
