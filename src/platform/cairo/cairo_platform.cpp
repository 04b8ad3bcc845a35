#include "platform/cairo/cairo_platform.h"

#include <iostream>
#include <utility>

#include "platform/cairo/cairo_picture_box.h"
#include "platform/cairo/cairo_printer.h"
#include "platform/cairo/picture_loader.h"

namespace tolv {

CairoPlatform::CairoPlatform(std::string program_directory, DestinationFactory find_destination,
                             std::ostream& errors)
    : PrinterPlatform(std::move(program_directory), std::move(find_destination), errors) {}

CairoPlatform::CairoPlatform(std::string program_directory, DestinationFactory find_destination)
    : CairoPlatform(std::move(program_directory), std::move(find_destination), std::cerr) {}

std::unique_ptr<DocumentPrinter> CairoPlatform::MakePrinter(
    std::unique_ptr<Destination> destination) {
  return std::make_unique<CairoPrinter>(std::move(destination), missing_fonts_);
}

std::unique_ptr<PictureBox> CairoPlatform::CreatePictureBox(const PictureBoxDesign& design) {
  return std::make_unique<CairoPictureBox>(design, missing_fonts_);
}

PicturePtr CairoPlatform::LoadPicture(const std::string& path) { return tolv::LoadPicture(path); }

PixelSize CairoPlatform::PictureSize(const std::string& path) {
  return ReadPictureSize(path, [&] { return tolv::LoadPicture(path); });
}

}  // namespace tolv
