// The printer contract: one drawing, run on every printer backend and read back in the backend's
// own way (the recorder's device operations drawn by the rule they state, the Cairo printer's PDF
// rasterised by poppler, the GDI printer's output rasterised by ghostscript), must give the same
// device pixels for dots, lines and picture edges, text within half a device pixel of its place,
// and the same run-time errors at the same steps.
//
// A backend joins by instantiating PrinterContractTest with a factory of its ContractBackend.
#ifndef TOLV_TESTS_SURFACE_PRINTER_CONTRACT_H_
#define TOLV_TESTS_SURFACE_PRINTER_CONTRACT_H_

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "surface/document_printer.h"

namespace tolv::testing {

// Text as read back: where its line's top-left corner is, in device pixels from the printable
// area's corner.
struct ContractText {
  std::string text;
  double x;
  double y;
};

// The first page of the ended document, in device pixels from the printable area's corner.
struct ContractPage {
  int width = 0;  // the printable area
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB, white where nothing was drawn
  std::vector<ContractText> texts;
  int pages = 0;  // in the whole document

  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

class ContractBackend {
 public:
  virtual ~ContractBackend() = default;
  // The printer, made for ContractDevice() (or with no printer at all).
  virtual DocumentPrinter& printer() = 0;
  // The document the printer ended last, read back.
  virtual ContractPage ReadBack() = 0;
};

struct ContractBackendFactory {
  std::string name;
  // `available` false: a printer without a device, whose every member raises.
  std::function<std::unique_ptr<ContractBackend>(const PrinterDevice& device, bool available)> make;
};

// A page of 2 x 1 inches at 600 dpi whose printable area starts 30 px from the left and 40 px
// from the top: small enough to read back quickly, with a margin that must be honoured.
PrinterDevice ContractDevice();

// gtest prints a test's parameter by its bytes unless told otherwise.
inline void PrintTo(const ContractBackendFactory& factory, std::ostream* os) {
  *os << factory.name;
}

class PrinterContractTest : public ::testing::TestWithParam<ContractBackendFactory> {};

inline std::string ContractBackendName(
    const ::testing::TestParamInfo<ContractBackendFactory>& info) {
  return info.param.name;
}

}  // namespace tolv::testing

#endif  // TOLV_TESTS_SURFACE_PRINTER_CONTRACT_H_
