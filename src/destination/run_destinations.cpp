#include "destination/run_destinations.h"

#include <utility>

#include "runtime/units.h"

namespace tolv {

PreviewDestination::PreviewDestination(std::unique_ptr<Destination> printer, std::string path,
                                       WholeFileWriter write)
    : printer_(std::move(printer)), path_(std::move(path)), write_(write) {}

HandOverResult PreviewDestination::HandOver(const FinishedDocument& document) {
  HandOverResult result;
  std::string error;
  if (!write_(path_, document.bytes, &error)) {
    result.ok = false;
    result.message = "the document could not be written: " + error;
  }
  return result;
}

ShiftedDestination::ShiftedDestination(std::unique_ptr<Destination> printer, double shift_x_mm,
                                       double shift_y_mm)
    : printer_(std::move(printer)), device_(printer_->Device()) {
  device_.printable_left_px += shift_x_mm / kMmPerInch * device_.dpi_x;
  device_.printable_top_px += shift_y_mm / kMmPerInch * device_.dpi_y;
}

}  // namespace tolv
