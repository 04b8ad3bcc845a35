// Output mode 2 as a caller sees it: the program run in a scratch directory with a sample form, on
// the file printer (A4, 600 dpi, the whole page printable), and its ZOBAX.PDF read back. The text
// and the form's dots must land where the page geometry puts them, to a device pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "integration/support/program_run.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

// The file printer's device.
constexpr double kDpi = 600;
constexpr int kPageWidthPx = 4961;
constexpr int kPageHeightPx = 7016;
constexpr double kPointsPerPixel = 72.0 / kDpi;
// Two device pixels.
constexpr double kTolerancePt = 2 * kPointsPerPixel + 0.01;

// The page geometry as start-up and the direct drivers compute it: pixels per millimetre from the
// printable size in pixels over the same size in millimetres (single precision), then one copy's
// rectangle in single precision, placed by the offsets.
struct Geometry {
  float W = 0, H = 0, X = 0, Y = 0;

  static double PixelsPerMm(int pixels) {
    return static_cast<double>(static_cast<float>(pixels)) /
           static_cast<double>(static_cast<float>(pixels * 25.4 / kDpi));
  }

  // One copy of the form; for the mini form the block is reckoned 2.25 form heights high, for a
  // maxi pair that fits 2.
  static Geometry Of(double height_mm, double zoom, int offset_x, int offset_y,
                     long double block_heights) {
    Geometry g;
    g.W = static_cast<float>(139.0L * PixelsPerMm(kPageWidthPx) * zoom);
    g.H =
        static_cast<float>(static_cast<long double>(height_mm) * PixelsPerMm(kPageHeightPx) * zoom);
    g.X = static_cast<float>((kPageWidthPx - static_cast<long double>(g.W)) / 50 * offset_x);
    g.Y = static_cast<float>((kPageHeightPx - block_heights * g.H) / 50 * offset_y);
    return g;
  }
};

// Nearest, halves to even, as the rectangle is handed over and as a dot finds its device pixel.
int Round(long double v) { return static_cast<int>(std::nearbyint(v)); }

// A scratch program directory with the sample form of one form type beside the program.
void CopySampleForm(const ProgramDir& dir, int blank) {
  const fs::path forms = fs::path(ProgramPath()).parent_path() / "forms";
  for (const char* ext : {"GFX", "DAT"}) {
    const std::string name = "KORDEL" + std::to_string(blank) + "A." + ext;
    fs::copy_file(forms / name, dir.File(name));
  }
}

std::vector<Word> WordsOf(const std::vector<Word>& words, const std::string& text) {
  std::vector<Word> out;
  for (const Word& w : words) {
    if (w.text == text) out.push_back(w);
  }
  return out;
}

// A grey-scale crop of page 1 at the printer's resolution: pixel (x, y) is device pixel
// (left + x, top + y).
struct Crop {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> grey;
  bool Black(int device_x, int device_y) const {
    return grey[static_cast<size_t>(device_y - top) * width + (device_x - left)] < 128;
  }
};

Crop Rasterise(const std::string& pdf, int left, int top, int width, int height) {
  Crop crop{left, top, width, height, {}};
  const std::string prefix = pdf + ".crop";
  const std::string command =
      "pdftoppm -r " + std::to_string(static_cast<int>(kDpi)) + " -gray -f 1 -l 1 -x " +
      std::to_string(left) + " -y " + std::to_string(top) + " -W " + std::to_string(width) +
      " -H " + std::to_string(height) + " -singlefile '" + pdf + "' '" + prefix + "'";
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << command;
    return crop;
  }
  std::ifstream in(prefix + ".pgm", std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  in >> magic >> w >> h >> maxval;
  in.get();
  if (magic != "P5" || w != width || h != height || maxval != 255) {
    ADD_FAILURE() << "unexpected raster " << magic << " " << w << "x" << h;
    return crop;
  }
  crop.grey.resize(static_cast<size_t>(w) * h);
  in.read(reinterpret_cast<char*>(crop.grey.data()),
          static_cast<std::streamsize>(crop.grey.size()));
  EXPECT_TRUE(in.good());
  return crop;
}

// The sample form's dots and its picture's size (the 1-bit BMP's header).
struct SampleForm {
  int picture_width = 0, picture_height = 0;
  struct Dot {
    int16_t x, y;
    int32_t color;
  };
  std::vector<Dot> dots;

  static SampleForm Read(const ProgramDir& dir, int blank) {
    SampleForm form;
    const std::string prefix = "KORDEL" + std::to_string(blank) + "A.";
    const std::string bmp = dir.Read(prefix + "GFX");
    const auto le32 = [](const std::string& b, size_t at) {
      return static_cast<int32_t>(static_cast<uint8_t>(b[at]) |
                                  static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
                                  static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
                                  static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
    };
    if (bmp.size() < 26) return form;
    form.picture_width = le32(bmp, 18);
    form.picture_height = std::abs(le32(bmp, 22));
    const std::string data = dir.Read(prefix + "DAT");
    for (size_t at = 0; at + 8 <= data.size(); at += 8) {
      const auto le16 = [&](size_t i) {
        return static_cast<int16_t>(static_cast<uint8_t>(data[i]) |
                                    static_cast<uint8_t>(data[i + 1]) << 8);
      };
      form.dots.push_back({le16(at), le16(at + 2), le32(data, at + 4)});
    }
    return form;
  }
};

// Runs the job in the test's body; skips the test while the program has no printer wired in (no
// document and not a word about it).
#define RUN_OR_SKIP(dir)                                                         \
  do {                                                                           \
    const RunResult run = (dir).Run();                                           \
    if (!(dir).Exists("ZOBAX.PDF") && run.standard_error.empty()) {              \
      GTEST_SKIP() << "the program printed nothing: no printer is wired in yet"; \
    }                                                                            \
    ASSERT_EQ(run.exit_status, 0) << run.standard_error;                         \
    ASSERT_EQ(run.standard_error, "");                                           \
  } while (0)

TEST(DirectPrintTest, MiniRowsStandInBothCopies) {
  ProgramDir dir;
  CopySampleForm(dir, 1);
  dir.WriteJob(1, 2, 25, 25, {{1, "HELLO"}});
  RUN_OR_SKIP(dir);
  const std::string pdf = dir.File("ZOBAX.PDF");
  EXPECT_EQ(PdfPageCount(pdf), 1);

  const Geometry g = Geometry::Of(105, 1.0, 25, 25, 2.25L);
  const int x = Round(g.X), w = Round(g.W), h = Round(g.H);
  // The second copy's top straight from extended precision.
  const int tops[2] = {Round(g.Y), Round(g.Y + 1.15L * g.H)};
  const std::vector<Word> hello = WordsOf(PdfWords(pdf), "HELLO");
  ASSERT_EQ(hello.size(), 2u);
  for (int copy = 0; copy < 2; ++copy) {
    // Row 1 at 9.5 mm across and 10.8 mm down the form.
    EXPECT_NEAR(hello[copy].x_min, (x + 9.5 * w / 139) * kPointsPerPixel, kTolerancePt);
    EXPECT_NEAR(hello[copy].y_min, (tops[copy] + 10.8 * h / 105) * kPointsPerPixel, kTolerancePt)
        << "copy " << copy;
  }
  // Both copies alike: the distance between them is exact.
  EXPECT_NEAR(hello[0].x_min, hello[1].x_min, 0.01);
  EXPECT_NEAR(hello[1].y_min - hello[0].y_min, (tops[1] - tops[0]) * kPointsPerPixel, 0.01);
}

TEST(DirectPrintTest, MaxiThatDoesNotFitTwicePrintsTheCopyOnTwoPagesAlike) {
  // Zoom 120: 2 x 141 x 1.2 = 338.4 mm, more than A4's 297.
  ProgramDir dir;
  CopySampleForm(dir, 5);
  dir.WriteJob(5, 2, 25, 25, {{2, "MAXI"}}, "DejaVu Sans", 120);
  RUN_OR_SKIP(dir);
  const std::string pdf = dir.File("ZOBAX.PDF");
  EXPECT_EQ(PdfPageCount(pdf), 2);

  const Geometry g = Geometry::Of(141, 1.2, 25, 25, 1.0L);
  const std::vector<Word> maxi = WordsOf(PdfWords(pdf), "MAXI");
  ASSERT_EQ(maxi.size(), 2u);
  EXPECT_EQ(maxi[0].page, 1);
  EXPECT_EQ(maxi[1].page, 2);
  // Row 2 at 11.5 mm across and 18.4 mm down, at the same place on both pages.
  for (const Word& word : maxi) {
    EXPECT_NEAR(word.x_min, (Round(g.X) + 11.5 * Round(g.W) / 139) * kPointsPerPixel, kTolerancePt);
    EXPECT_NEAR(word.y_min, (Round(g.Y) + 18.4 * Round(g.H) / 141) * kPointsPerPixel, kTolerancePt);
  }
  EXPECT_NEAR(maxi[0].x_min, maxi[1].x_min, 0.01);
  EXPECT_NEAR(maxi[0].y_min, maxi[1].y_min, 0.01);
}

TEST(DirectPrintTest, TallMaxiFormIsOneCopyOnOnePage) {
  ProgramDir dir;
  CopySampleForm(dir, 6);
  dir.WriteJob(6, 2, 25, 25, {{2, "TALL"}});
  RUN_OR_SKIP(dir);
  const std::string pdf = dir.File("ZOBAX.PDF");
  EXPECT_EQ(PdfPageCount(pdf), 1);
  const Geometry g = Geometry::Of(205.3, 1.0, 25, 25, 1.0L);
  const std::vector<Word> tall = WordsOf(PdfWords(pdf), "TALL");
  ASSERT_EQ(tall.size(), 1u);
  EXPECT_NEAR(tall[0].y_min, (Round(g.Y) + 18.4 * Round(g.H) / 205.3) * kPointsPerPixel,
              kTolerancePt);
}

// The dots of the sample form in two windows of the first copy, its top-left and bottom-right
// corners, compared pixel for pixel with where the scale factors put them; then the cut line.
TEST(DirectPrintTest, FormDotsAndCutLineLandOnTheirDevicePixels) {
  ProgramDir dir;
  CopySampleForm(dir, 1);
  dir.WriteJob(1, 2, 25, 25, {});
  RUN_OR_SKIP(dir);
  const std::string pdf = dir.File("ZOBAX.PDF");
  const SampleForm form = SampleForm::Read(dir, 1);
  ASSERT_GT(form.picture_width, 0);
  ASSERT_FALSE(form.dots.empty());

  const Geometry g = Geometry::Of(105, 1.0, 25, 25, 2.25L);
  const int X = Round(g.X), Y = Round(g.Y), W = Round(g.W), H = Round(g.H);
  const double SX = static_cast<double>(W) / form.picture_width;
  const double SY = static_cast<double>(H) / form.picture_height;

  constexpr int kWindow = 64;
  const int windows[2][2] = {{X - 8, Y - 8}, {X + W - kWindow + 8, Y + H - kWindow + 8}};
  for (const auto& corner : windows) {
    const Crop crop = Rasterise(pdf, corner[0], corner[1], kWindow, kWindow);
    ASSERT_EQ(crop.grey.size(), static_cast<size_t>(kWindow * kWindow));
    std::vector<uint8_t> expected(kWindow * kWindow, 0);
    for (const SampleForm::Dot& dot : form.dots) {
      const int px = Round(static_cast<float>(dot.x * static_cast<long double>(SX) + X));
      const int py = Round(static_cast<float>(dot.y * static_cast<long double>(SY) + Y));
      if (px < crop.left || px >= crop.left + kWindow || py < crop.top ||
          py >= crop.top + kWindow) {
        continue;
      }
      ASSERT_EQ(dot.color & 0xFFFFFF, 0) << "the sample form's dots are black";
      expected[static_cast<size_t>(py - crop.top) * kWindow + (px - crop.left)] = 1;
    }
    EXPECT_GT(std::count(expected.begin(), expected.end(), 1), 20)
        << "the window holds a corner of the form";
    int wrong = 0;
    std::string first;
    for (int y = 0; y < kWindow; ++y) {
      for (int x = 0; x < kWindow; ++x) {
        const bool want = expected[static_cast<size_t>(y) * kWindow + x] != 0;
        if (crop.Black(crop.left + x, crop.top + y) != want) {
          if (wrong++ == 0) {
            first = std::to_string(crop.left + x) + "," + std::to_string(crop.top + y) +
                    (want ? " should be black" : " should be white");
          }
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "first wrong device pixel " << first;
  }

  // The cut line: dotted, one device pixel high, across the whole printable width.
  const int line_y = Round(static_cast<float>(g.Y + 1.075L * g.H));
  const Crop band = Rasterise(pdf, 0, line_y - 3, kPageWidthPx, 7);
  ASSERT_EQ(band.grey.size(), static_cast<size_t>(kPageWidthPx * 7));
  for (int y = line_y - 3; y <= line_y + 3; ++y) {
    int black = 0, first_black = -1, last_black = -1, longest_run = 0, run = 0;
    for (int x = 0; x < kPageWidthPx; ++x) {
      if (band.Black(x, y)) {
        ++black;
        if (first_black < 0) first_black = x;
        last_black = x;
        longest_run = std::max(longest_run, ++run);
      } else {
        run = 0;
      }
    }
    if (y != line_y) {
      EXPECT_EQ(black, 0) << "row " << y << " beside the cut line";
      continue;
    }
    EXPECT_LE(first_black, 8);
    EXPECT_GE(last_black, kPageWidthPx - 9);
    EXPECT_GT(black, kPageWidthPx * 4 / 10);
    EXPECT_LT(black, kPageWidthPx * 6 / 10) << "dotted, not solid";
    EXPECT_LE(longest_run, 8);
  }
}

}  // namespace
}  // namespace tolv::testing
