#include "platform/printer_platform.h"

#include <utility>

#include "destination/exit_status.h"
#include "runtime/runtime.h"

namespace tolv {

PrinterPlatform::PrinterPlatform(std::string program_directory, DestinationFactory find_destination,
                                 std::ostream& errors)
    : program_directory_(std::move(program_directory)),
      find_destination_(std::move(find_destination)),
      errors_(errors) {}

Printer& PrinterPlatform::DefaultPrinter() {
  if (!printer_) {
    std::unique_ptr<Destination> destination;
    if (find_destination_) {
      Step([&] { destination = find_destination_(); });
    }
    printer_ = MakePrinter(std::move(destination));
  }
  return *printer_;
}

int PrinterPlatform::EndProgram() {
  if (!printer_) return kExitHandedOver;
  return ExitStatusAfterHandOver(printer_->Finish(), errors_);
}

}  // namespace tolv
