// Reading a PDF that tolv made back with poppler: pdftoppm rasterises a page at the device's own
// resolution without antialiasing, so dots and lines can be checked pixel by pixel, and
// pdftotext -bbox tells where words landed.
#ifndef TOLV_TESTS_SUPPORT_PDF_READBACK_H_
#define TOLV_TESTS_SUPPORT_PDF_READBACK_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tolv::testing {

// One page as 0xRRGGBB pixels, top row first.
struct Raster {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  bool Black(int x, int y) const { return At(x, y) == 0x000000; }
  bool White(int x, int y) const { return At(x, y) == 0xFFFFFF; }
};

// Page `page` (from 1) of the PDF at `dpi`, hard edges.
Raster RasterisePdf(const std::string& pdf, int dpi = 600, int page = 1);

// A word and its box, in device pixels at `dpi` from the page's top-left corner.
struct PdfWord {
  std::string text;
  double x_min, y_min, x_max, y_max;
  int page;  // from 1
};

std::vector<PdfWord> PdfWords(const std::string& pdf, double dpi = 600);

// The number of pages of the PDF.
int PdfPageCount(const std::string& pdf);

}  // namespace tolv::testing

#endif  // TOLV_TESTS_SUPPORT_PDF_READBACK_H_
