// The printer's dots in bulk: whatever way a colour's dots go into the PDF (a Group 4 mask, a
// zlib mask, a path of runs), every dot lands on its own device pixel in the colour of the last
// dot set there, and nothing else is marked. The page is read back with pdftoppm at the device's
// 600 dpi without antialiasing, pixel by pixel.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "picture/ccitt_g4.h"
#include "platform/cairo/cairo_dots.h"
#include "platform/cairo/cairo_printer.h"
#include "support/pdf_readback.h"
#include "surface/dot_layer.h"

namespace tolv {
namespace {

// One inch square at 600 dpi; the printable area starts 20 px right and 30 px down.
constexpr int kPage = 600;
constexpr int kLeft = 20;
constexpr int kTop = 30;

class KeepingDestination : public Destination {
 public:
  explicit KeepingDestination(std::string& pdf) : pdf_(pdf) {
    device_.page_width_pt = 72;
    device_.page_height_pt = 72;
    device_.printable_left_px = kLeft;
    device_.printable_top_px = kTop;
    device_.printable_width_px = kPage - 2 * kLeft;
    device_.printable_height_px = kPage - 2 * kTop;
  }
  const PrinterDevice& Device() const override { return device_; }
  HandOverResult HandOver(const FinishedDocument& document) override {
    pdf_ = document.bytes;
    return {};
  }

 private:
  PrinterDevice device_;
  std::string& pdf_;
};

// The page rasterised at 600 dpi with hard edges, as 0xRRGGBB by page pixel.
std::vector<uint32_t> Rasterise(const std::string& pdf) {
  const testing::Raster raster = testing::RasterisePdf(pdf);
  EXPECT_EQ(raster.width, kPage);
  EXPECT_EQ(raster.height, kPage);
  return raster.pixels;
}

// Sets the dots on a fresh printer, ends the document, and checks every pixel of the page
// against the last colour set there (white where none was). Returns the PDF.
std::string ExpectExactDots(const std::vector<std::pair<std::pair<int, int>, int32_t>>& dots) {
  std::string pdf;
  CairoPrinter printer(std::make_unique<KeepingDestination>(pdf));
  printer.SetScaleMode(3);
  std::map<std::pair<int, int>, uint32_t> last;
  for (const auto& [at, colour] : dots) {
    printer.PSet(static_cast<float>(at.first), static_cast<float>(at.second), colour);
    const uint32_t c = static_cast<uint32_t>(colour);
    // Red in the lowest byte; the high byte is no colour.
    last[{at.first + kLeft, at.second + kTop}] =
        (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF);
  }
  printer.EndDoc();
  const std::vector<uint32_t> page = Rasterise(pdf);
  int wrong = 0;
  for (int y = 0; y < kPage && wrong < 10; ++y) {
    for (int x = 0; x < kPage && wrong < 10; ++x) {
      const auto found = last.find({x, y});
      const uint32_t expected = found == last.end() ? 0xFFFFFFu : found->second;
      if (page[static_cast<size_t>(y) * kPage + x] != expected) {
        ++wrong;
        ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex
                      << page[static_cast<size_t>(y) * kPage + x] << ", not " << expected;
      }
    }
  }
  return pdf;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(DotLayerTest, ScatteredDotsInFewColoursLandExactlyTheLaterWinning) {
  // Scattered dots whose rows never repeat: black and three colours go out as Group 4 masks.
  // Every tenth dot falls on a pixel set before, in another colour or in black.
  std::mt19937 random(11);
  const int32_t colours[] = {0, 0, 0, 0x0000FF, 0x00FF00, static_cast<int32_t>(0x7FFF0000)};
  std::vector<std::pair<std::pair<int, int>, int32_t>> dots;
  for (int i = 0; i < 6000; ++i) {
    std::pair<int, int> at{static_cast<int>(random() % 540), static_cast<int>(random() % 520)};
    if (i % 10 == 9) at = dots[random() % dots.size()].first;
    dots.push_back({at, colours[random() % 6]});
  }
  const std::string pdf = ExpectExactDots(dots);
  EXPECT_EQ(Count(pdf, "/CCITTFaxDecode"), 4);
}

TEST(DotLayerTest, DenseAndRepeatingDotsLandExactly) {
  // A dense speckle (its Group 4 code would be too long) and a dotted grid whose rows repeat
  // (zlib does better there): both left to zlib, and exact.
  std::mt19937 random(5);
  std::vector<std::pair<std::pair<int, int>, int32_t>> dots;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (random() % 2 == 0) dots.push_back({{x, y}, 0});
    }
  }
  for (int y = 260; y < 500; y += 3) {
    for (int x = 10; x < 530; x += 2) dots.push_back({{x, y}, 0x00FF00});
  }
  const std::string pdf = ExpectExactDots(dots);
  EXPECT_EQ(Count(pdf, "/CCITTFaxDecode"), 0);
  EXPECT_EQ(Count(pdf, "/ImageMask true"), 2);
}

TEST(DotLayerTest, FewDotsOfManyColoursAndDotsOffThePage) {
  // Colours with a few dots each (a mask of their box would be mostly empty) are paths of runs;
  // dots beyond the page's edge are never seen, and those left of and above the printable
  // area, still on the page, are.
  std::vector<std::pair<std::pair<int, int>, int32_t>> dots;
  for (int i = 0; i < 40; ++i) {
    const int32_t colour = 0x010203 * (i + 1);
    dots.push_back({{10 + 13 * i, 5 + 11 * i}, colour});
    dots.push_back({{11 + 13 * i, 5 + 11 * i}, colour});  // a run of two
    dots.push_back({{500 - 12 * i, 7 * i}, colour});
  }
  dots.push_back({{-kLeft, -kTop}, 0});  // the page's top-left pixel
  dots.push_back({{-kLeft - 1, 3}, 0x0000FF});
  dots.push_back({{kPage, kPage}, 0});
  dots.push_back({{1 << 20, -(1 << 20)}, 0});
  std::string pdf;
  {
    // The dots that cannot be seen are checked apart: the page has no pixel for them.
    std::vector<std::pair<std::pair<int, int>, int32_t>> visible(dots.begin(), dots.end() - 3);
    pdf = ExpectExactDots(visible);
  }
  EXPECT_EQ(Count(pdf, "/ImageMask true"), 0);
  std::string with_hidden;
  CairoPrinter printer(std::make_unique<KeepingDestination>(with_hidden));
  printer.SetScaleMode(3);
  for (const auto& [at, colour] : dots) {
    printer.PSet(static_cast<float>(at.first), static_cast<float>(at.second), colour);
  }
  printer.EndDoc();
  EXPECT_EQ(Rasterise(with_hidden), Rasterise(pdf));
}

TEST(DotLayerTest, DotsOfManyColoursGoOutAsOneRasterAndLandExactly) {
  // More colours than are worth a mark each (a form data file in distinct colours): one picture
  // of the coloured dots, black ones still a mask; every tenth dot falls on an earlier one.
  std::mt19937 random(3);
  std::vector<std::pair<std::pair<int, int>, int32_t>> dots;
  for (int i = 0; i < 3000; ++i) {
    std::pair<int, int> at{static_cast<int>(random() % 540), static_cast<int>(random() % 520)};
    if (i % 10 == 9) at = dots[random() % dots.size()].first;
    dots.push_back({at, i % 7 == 0 ? 0 : static_cast<int32_t>(random() & 0xFFFFFF)});
  }
  const std::string pdf = ExpectExactDots(dots);
  EXPECT_EQ(Count(pdf, "/Subtype /Image"), 3) << "a mask, a raster and its transparency";
}

// A box of many colours larger than one raster may be goes in strips of whole rows: every dot
// once, in its own colour, and no strip over the limit.
TEST(DotLayerTest, ALargeRasterGoesInStripsWithEveryDotOnce) {
  struct Strips : DotSink {
    void BlackDots(const DotBitmap&) override {}
    void ColourDots(uint32_t, std::span<const DotPoint>) override { ADD_FAILURE(); }
    void ColourRaster(const DotRaster& r) override {
      EXPECT_LE(int64_t{r.width} * r.height, 1000);
      EXPECT_GT(r.y, last_y);
      last_y = r.y + r.height - 1;
      for (int32_t row = 0; row < r.height; ++row) {
        for (int32_t col = 0; col < r.width; ++col) {
          const uint32_t p = r.first_pixel[static_cast<size_t>(row) * r.pixels_per_row + col];
          if ((p & DotRaster::kDot) == 0) continue;
          EXPECT_TRUE(seen.emplace(std::pair{r.x + col, r.y + row}, p & 0xFFFFFF).second);
        }
      }
    }
    int32_t last_y = -1;
    std::map<std::pair<int32_t, int32_t>, uint32_t> seen;
  } strips;
  DotLayer layer(0, 0, 100, 100);
  std::map<std::pair<int32_t, int32_t>, uint32_t> expected;
  std::mt19937 random(5);
  for (uint32_t i = 1; i <= 600; ++i) {
    const int32_t x = static_cast<int32_t>(random() % 90) + 5,
                  y = static_cast<int32_t>(random() % 80) + 10;
    layer.Set(x, y, i);
    expected[{x, y}] = i;
  }
  layer.Drain(strips, 1000);
  EXPECT_EQ(strips.seen, expected);
}

TEST(DotLayerTest, DrawsNothingOnceFlushedAndStaysEmptyWithoutDots) {
  DotLayer layer(0, 0, 100, 100);
  EXPECT_TRUE(layer.empty());
  layer.Set(-1, 5, 0);   // off the page
  layer.Set(100, 5, 0);  // off the page
  EXPECT_TRUE(layer.empty());
  layer.Set(3, 4, 0x0000FF);
  layer.Set(3, 4, 0);
  EXPECT_FALSE(layer.empty());
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 100, 100);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  PaintDots(layer, cr, 0, 0);
  EXPECT_TRUE(layer.empty());
  PaintDots(layer, cr, 0, 0);  // nothing more
  cairo_surface_flush(surface);
  const auto* data = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface));
  const int stride = cairo_image_surface_get_stride(surface) / 4;
  int marked = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) marked += (data[y * stride + x] & 0xFFFFFF) != 0xFFFFFF;
  }
  EXPECT_EQ(marked, 1);
  EXPECT_EQ(data[4 * stride + 3] & 0xFFFFFF, 0u);  // black won
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

}  // namespace
}  // namespace tolv
