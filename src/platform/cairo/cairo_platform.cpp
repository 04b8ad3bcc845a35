#include "platform/cairo/cairo_platform.h"

#include <iostream>
#include <utility>

#include "platform/cairo/cairo_picture_box.h"
#include "platform/cairo/picture_loader.h"
#include "platform/exit_status.h"
#include "platform/runtime.h"

namespace tolv {

CairoPlatform::CairoPlatform(std::string program_directory, DestinationFactory find_destination,
                             std::ostream& errors)
    : program_directory_(std::move(program_directory)),
      find_destination_(std::move(find_destination)),
      errors_(errors) {}

CairoPlatform::CairoPlatform(std::string program_directory, DestinationFactory find_destination)
    : CairoPlatform(std::move(program_directory), std::move(find_destination), std::cerr) {}

Printer& CairoPlatform::DefaultPrinter() {
  if (!printer_) {
    std::unique_ptr<Destination> destination;
    if (find_destination_) {
      Step([&] { destination = find_destination_(); });
    }
    printer_ = std::make_unique<CairoPrinter>(std::move(destination));
  }
  return *printer_;
}

std::unique_ptr<PictureBox> CairoPlatform::CreatePictureBox(const PictureBoxDesign& design) {
  return std::make_unique<CairoPictureBox>(design);
}

PicturePtr CairoPlatform::LoadPicture(const std::string& path) { return tolv::LoadPicture(path); }

int CairoPlatform::EndProgram() {
  if (!printer_) return 0;
  return ExitStatusAfterHandOver(printer_->Finish(), errors_);
}

}  // namespace tolv
