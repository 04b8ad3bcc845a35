// The Cairo printer joins the printer contract (its PDF read back with poppler at 600 dpi), and
// the Cairo picture box the picture-box contract.
#include <memory>
#include <string>
#include <vector>

#include "platform/cairo/cairo_picture_box.h"
#include "platform/cairo/cairo_printer.h"
#include "support/pdf_readback.h"
#include "surface/picture_box_contract.h"
#include "surface/printer_contract.h"

namespace tolv::testing {
namespace {

class KeepingDestination : public Destination {
 public:
  KeepingDestination(const PrinterDevice& device, std::string& pdf) : device_(device), pdf_(pdf) {}
  const PrinterDevice& Device() const override { return device_; }
  HandOverResult HandOver(const FinishedDocument& document) override {
    pdf_ = document.bytes;
    return {};
  }

 private:
  PrinterDevice device_;
  std::string& pdf_;
};

class CairoContractBackend : public ContractBackend {
 public:
  CairoContractBackend(const PrinterDevice& d, bool available)
      : device_(d), printer_(available ? std::make_unique<KeepingDestination>(d, pdf_) : nullptr) {}
  DocumentPrinter& printer() override { return printer_; }

  ContractPage ReadBack() override {
    ContractPage page;
    page.width = static_cast<int>(device_.printable_width_px);
    page.height = static_cast<int>(device_.printable_height_px);
    const int left = static_cast<int>(device_.printable_left_px);
    const int top = static_cast<int>(device_.printable_top_px);
    const Raster raster = RasterisePdf(pdf_, static_cast<int>(device_.dpi_x));
    if (raster.width < left + page.width || raster.height < top + page.height) {
      ADD_FAILURE() << "page of " << raster.width << " x " << raster.height;
      return page;
    }
    for (int y = 0; y < page.height; ++y) {
      for (int x = 0; x < page.width; ++x) page.pixels.push_back(raster.At(left + x, top + y));
    }
    for (const PdfWord& w : PdfWords(pdf_, device_.dpi_x)) {
      if (w.page == 1) page.texts.push_back({w.text, w.x_min - left, w.y_min - top});
    }
    page.pages = PdfPageCount(pdf_);
    return page;
  }

 private:
  PrinterDevice device_;
  std::string pdf_;
  CairoPrinter printer_;
};

INSTANTIATE_TEST_SUITE_P(Cairo, PrinterContractTest,
                         ::testing::Values(ContractBackendFactory{
                             "Cairo",
                             [](const PrinterDevice& d, bool available) {
                               return std::make_unique<CairoContractBackend>(d, available);
                             }}),
                         ContractBackendName);

INSTANTIATE_TEST_SUITE_P(Cairo, PictureBoxContractTest,
                         ::testing::Values(PictureBoxFactory{
                             "Cairo",
                             [](const PictureBoxDesign& design) -> std::unique_ptr<PictureBox> {
                               return std::make_unique<CairoPictureBox>(design);
                             }}),
                         PictureBoxFactoryName);

}  // namespace
}  // namespace tolv::testing
