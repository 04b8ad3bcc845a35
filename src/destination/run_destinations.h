// Destinations that stand in front of the default printer for the operator's options: the run
// renders for the real printer's device (its page, margins and resolution, moved by the queue's
// correction) and the document goes where the option says.
#ifndef TOLV_DESTINATION_RUN_DESTINATIONS_H_
#define TOLV_DESTINATION_RUN_DESTINATIONS_H_

#include <memory>
#include <string>
#include <string_view>

#include "destination/destination.h"
#include "destination/file_printer.h"

namespace tolv {

// tolv --pdf FILE, --proof FILE: the document is written to FILE (with the machine's atomic
// write) instead of handed over.
class PreviewDestination : public Destination {
 public:
  PreviewDestination(std::unique_ptr<Destination> printer, std::string path, WholeFileWriter write);
  const PrinterDevice& Device() const override { return printer_->Device(); }
  std::string Describe() const override { return printer_->Describe(); }
  std::string Queue() const override { return printer_->Queue(); }
  HandOverResult HandOver(const FinishedDocument& document) override;

 private:
  std::unique_ptr<Destination> printer_;
  std::string path_;
  WholeFileWriter write_;
};

// tolv --check: the document is rendered in full and dropped.
class CheckDestination : public Destination {
 public:
  explicit CheckDestination(std::unique_ptr<Destination> printer) : printer_(std::move(printer)) {}
  const PrinterDevice& Device() const override { return printer_->Device(); }
  std::string Describe() const override { return printer_->Describe(); }
  std::string Queue() const override { return printer_->Queue(); }
  HandOverResult HandOver(const FinishedDocument& document) override {
    marks_ = document.marks;
    return {};
  }
  // Where the document dropped last marked the page.
  const MarkedArea& marks() const { return marks_; }

 private:
  std::unique_ptr<Destination> printer_;
  MarkedArea marks_;
};

// A queue's correction from tolv.conf: the whole page moved right and down by the given
// millimetres (left and up when negative), the printable area's corner moved with it. A document
// whose marks the move puts further off the printer's printable area than they were is not
// handed over but kept: a run never hands over a page its correction emptied.
class ShiftedDestination : public Destination {
 public:
  ShiftedDestination(std::unique_ptr<Destination> printer, double shift_x_mm, double shift_y_mm);
  const PrinterDevice& Device() const override { return device_; }
  std::string Describe() const override { return printer_->Describe(); }
  std::string Queue() const override { return printer_->Queue(); }
  HandOverResult HandOver(const FinishedDocument& document) override;
  HandOverResult Keep(const FinishedDocument& document, const std::string& cause) override {
    return printer_->Keep(document, cause);
  }
  // Why the correction loses marks of the document, as one line; empty when it does not.
  std::string OffThePrintableArea(const MarkedArea& marks) const;

 private:
  std::unique_ptr<Destination> printer_;
  PrinterDevice device_;
  double shift_x_px_;
  double shift_y_px_;
};

}  // namespace tolv

#endif  // TOLV_DESTINATION_RUN_DESTINATIONS_H_
