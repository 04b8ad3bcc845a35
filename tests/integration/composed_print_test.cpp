// Output modes 0 and 1 against output mode 2: the composed page, one stretched picture or twenty
// bands, must put the form's frame and the job's characters where the direct page puts its dots
// and its printer text. The printed documents are rasterised at 150 dpi and compared there.
//
// Tolerances, in pixels at 150 dpi (one pixel = 0.17 mm):
// - frame: the top-left corner of the first copy's outer frame within 2 pixels. The picture is
//   2087 pixels across for 139 mm, so one picture pixel is 1.6 printer pixels at 600 dpi and
//   0.4 pixels here; the dots of mode 2 come from the same drawing.
// - text: the centre of the ink of every character within 2.5 pixels. The composed text is set
//   at screen resolution (15 pixels a millimetre) and stretched; the direct text is set at 600 dpi.
//   Bands stretch BandRows source rows into H \ 20 printer rows, a slightly different scale
//   from the whole picture's, so the characters compared are those of the form's upper rows.
#include <gtest/gtest.h>
#include <libgen.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "integration/support/program_run.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kDeviceDpi = 600;
constexpr int kDpi = 150;
constexpr double kPixelsPerPoint = kDpi / 72.0;
constexpr int kFrameTolerance = 2;
constexpr double kTextTolerance = 2.5;

// A grey page, one byte a pixel, rows from the top.
struct Raster {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> gray;

  bool Dark(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height &&
           gray[static_cast<size_t>(y) * width + x] < 128;
  }
};

std::optional<Raster> ReadPgm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int max_value = 0;
  Raster r;
  in >> magic >> r.width >> r.height >> max_value;
  if (!in || magic != "P5" || max_value != 255) return std::nullopt;
  in.get();
  r.gray.resize(static_cast<size_t>(r.width) * r.height);
  in.read(reinterpret_cast<char*>(r.gray.data()), static_cast<std::streamsize>(r.gray.size()));
  if (!in) return std::nullopt;
  return r;
}

// The page at the printer's 600 dpi without smoothing, then shrunk to 150 dpi keeping every dark
// pixel: the direct page's background is single printer dots 1.6 pixels apart, which smoothing
// (or a plain shrink) would turn into a light grey.
std::optional<Raster> Rasterise(const std::string& pdf, int page) {
  constexpr int kFactor = kDeviceDpi / kDpi;
  const std::string prefix = pdf + ".page";
  const std::string command = "pdftoppm -gray -aa no -aaVector no -r " +
                              std::to_string(kDeviceDpi) + " -f " + std::to_string(page) + " -l " +
                              std::to_string(page) + " -singlefile '" + pdf + "' '" + prefix +
                              "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) return std::nullopt;
  std::optional<Raster> fine = ReadPgm(prefix + ".pgm");
  fs::remove(prefix + ".pgm");
  if (!fine) return std::nullopt;
  Raster r;
  r.width = fine->width / kFactor;
  r.height = fine->height / kFactor;
  r.gray.assign(static_cast<size_t>(r.width) * r.height, 255);
  for (int y = 0; y < r.height * kFactor; ++y) {
    for (int x = 0; x < r.width * kFactor; ++x) {
      uint8_t& out = r.gray[static_cast<size_t>(y / kFactor) * r.width + x / kFactor];
      out = std::min(out, fine->gray[static_cast<size_t>(y) * fine->width + x]);
    }
  }
  return r;
}

// One printed page of a job, as the program left it in ZOBAX.PDF.
struct Printed {
  Raster page;
  std::vector<Word> words;
};

std::string FormsDir() {
  std::string exe = ProgramPath();
  return std::string(dirname(exe.data())) + "/forms";
}

// Prints the form type in the output mode with the rows (none: the form alone) and reads the first
// page back. Nothing when the program wrote no document.
std::optional<Printed> PrintForm(int blank, int paper_type,
                                 const std::map<int, std::string>& rows) {
  ProgramDir dir;
  for (const char* ext : {"GFX", "DAT"}) {
    const std::string name = "KORDEL" + std::to_string(blank) + "A." + ext;
    fs::copy_file(FormsDir() + "/" + name, dir.File(name));
  }
  dir.WriteJob(blank, paper_type, 25, 25, rows);
  const RunResult run = dir.Run();
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  if (!dir.Exists("ZOBAX.PDF")) return std::nullopt;
  std::optional<Raster> page = Rasterise(dir.File("ZOBAX.PDF"), 1);
  if (!page) return std::nullopt;
  return Printed{std::move(*page), PdfWords(dir.File("ZOBAX.PDF"))};
}

// The top-left corner of the first copy's outer frame: the first row that is mostly dark across
// (the frame's top line), then the first column that is dark for a long way down below it.
struct Corner {
  int x = -1;
  int y = -1;
};

Corner FrameCorner(const Raster& r) {
  Corner c;
  for (int y = 0; y < r.height && c.y < 0; ++y) {
    int dark = 0;
    for (int x = 0; x < r.width; ++x) dark += r.Dark(x, y);
    if (dark > r.width / 3) c.y = y;
  }
  if (c.y < 0) return c;
  const int run = kDpi;  // an inch of a vertical line: only the frame's sides are that long
  for (int x = 0; x < r.width && c.x < 0; ++x) {
    int dark = 0;
    for (int y = c.y; y < c.y + run; ++y) dark += r.Dark(x, y);
    if (dark >= run * 9 / 10) c.x = x;
  }
  return c;
}

// The centre of the ink that the rows added inside a window: pixels dark with the rows and light
// on the form alone.
struct Ink {
  int count = 0;
  double x = 0;
  double y = 0;
};

Ink RowInk(const Raster& with_rows, const Raster& form_alone, int x0, int y0, int x1, int y1) {
  Ink ink;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (with_rows.Dark(x, y) && !form_alone.Dark(x, y)) {
        ++ink.count;
        ink.x += x;
        ink.y += y;
      }
    }
  }
  if (ink.count > 0) {
    ink.x /= ink.count;
    ink.y /= ink.count;
  }
  return ink;
}

// Prints the job in the direct mode and in the composed mode, each with and without its rows, and
// compares the frame and every character the direct page's text layer names.
void ExpectComposedLikeDirect(int blank, int composed_mode, const std::map<int, std::string>& rows,
                              size_t expected_words) {
  const std::optional<Printed> direct = PrintForm(blank, 2, rows);
  const std::optional<Printed> direct_form = PrintForm(blank, 2, {});
  const std::optional<Printed> composed = PrintForm(blank, composed_mode, rows);
  const std::optional<Printed> composed_form = PrintForm(blank, composed_mode, {});
  if (!direct || !direct_form || !composed || !composed_form) {
    GTEST_SKIP() << "the program wrote no ZOBAX.PDF in output mode " << (direct ? composed_mode : 2)
                 << ": no printer wired in yet";
  }
  // The composed page carries its text as a picture: no text layer.
  EXPECT_TRUE(composed->words.empty());
  ASSERT_EQ(direct->page.width, composed->page.width);
  ASSERT_EQ(direct->page.height, composed->page.height);

  const Corner want = FrameCorner(direct_form->page);
  const Corner got = FrameCorner(composed_form->page);
  ASSERT_GE(want.x, 0);
  ASSERT_GE(want.y, 0);
  EXPECT_NEAR(got.x, want.x, kFrameTolerance);
  EXPECT_NEAR(got.y, want.y, kFrameTolerance);

  std::vector<Word> words;
  for (const Word& w : direct->words) {
    if (w.page == 1) words.push_back(w);
  }
  EXPECT_EQ(words.size(), expected_words);
  for (const Word& w : words) {
    // The word's box, widened by a millimetre and a half so the composed ink is caught even when
    // it lies off.
    const int margin = 9;
    const int x0 = static_cast<int>(w.x_min * kPixelsPerPoint) - margin;
    const int y0 = static_cast<int>(w.y_min * kPixelsPerPoint) - margin;
    const int x1 = static_cast<int>(std::ceil(w.x_max * kPixelsPerPoint)) + margin;
    const int y1 = static_cast<int>(std::ceil(w.y_max * kPixelsPerPoint)) + margin;
    const Ink direct_ink = RowInk(direct->page, direct_form->page, x0, y0, x1, y1);
    const Ink composed_ink = RowInk(composed->page, composed_form->page, x0, y0, x1, y1);
    ASSERT_GT(direct_ink.count, 0) << w.text;
    EXPECT_GT(composed_ink.count, direct_ink.count / 3) << "'" << w.text << "' missing";
    EXPECT_NEAR(composed_ink.x, direct_ink.x, kTextTolerance) << "'" << w.text << "'";
    EXPECT_NEAR(composed_ink.y, direct_ink.y, kTextTolerance) << "'" << w.text << "'";
  }
}

TEST(ComposedPrintTest, MiniPictureMatchesTheDirectPage) {
  // Two characters of a box row apart, on both copies of the sheet.
  ExpectComposedLikeDirect(1, 0, {{3, "W  M"}, {4, "H"}}, 6);
}

TEST(ComposedPrintTest, MaxiBandsMatchTheDirectPage) {
  ExpectComposedLikeDirect(3, 1, {{3, "W  M"}, {4, "H"}}, 6);
}

}  // namespace
}  // namespace tolv::testing
