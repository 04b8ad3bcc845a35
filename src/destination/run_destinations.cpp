#include "destination/run_destinations.h"

#include <algorithm>
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
  shift_x_px_ = shift_x_mm / kMmPerInch * device_.dpi_x;
  shift_y_px_ = shift_y_mm / kMmPerInch * device_.dpi_y;
  device_.printable_left_px += shift_x_px_;
  device_.printable_top_px += shift_y_px_;
}

std::string ShiftedDestination::OffThePrintableArea(const MarkedArea& marks) const {
  if (!marks.any) return "";
  // How far a span lies outside [0, limit), on both sides together.
  const auto outside = [](double from, double to, double limit) {
    return std::max(0.0, -from) + std::max(0.0, to - limit);
  };
  // Half a device pixel: rounding, not a lost mark.
  constexpr double kTolerance = 0.5;
  const double w = device_.printable_width_px, h = device_.printable_height_px;
  const double dx = shift_x_px_, dy = shift_y_px_;
  if (outside(marks.left + dx, marks.right + dx, w) >
          outside(marks.left, marks.right, w) + kTolerance ||
      outside(marks.top + dy, marks.bottom + dy, h) >
          outside(marks.top, marks.bottom, h) + kTolerance) {
    return "the correction of tolv.conf for queue \"" + Queue() +
           "\" moves marks of the page off the printable area";
  }
  return "";
}

HandOverResult ShiftedDestination::HandOver(const FinishedDocument& document) {
  if (const std::string why = OffThePrintableArea(document.marks); !why.empty()) {
    return printer_->Keep(document, why + ", so nothing was printed");
  }
  return printer_->HandOver(document);
}

}  // namespace tolv
