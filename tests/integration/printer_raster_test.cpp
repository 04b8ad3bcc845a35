// The page as the print scheduler's own filters rasterise it for a printer that takes raster:
// cupsfilter (the scheduler's filter chain: pdftopdf, then Ghostscript) with a PDF printer's PPD
// from cups-filters, to PWG raster in 8-bit grey at 600 dpi, against poppler's rendering of the
// same PDF at 600 dpi without smoothing. tolv hands its pages over without a page group, which
// sends Ghostscript down its quick path: the page must come out as poppler draws it all the same.
//
// Two rasterisers never agree on every edge pixel, so the pages are compared as dark (below half
// grey) and light pixels, and a dark pixel of one counts as matched when the other has a dark pixel
// within one pixel of it. What stays unmatched is where the two draw differently by design: glyph
// outlines (each has its own font rasteriser) and the dashes of the cut line, about 0.5 % of the
// dark pixels of a direct page. A page moved by a third of a millimetre (the form's single dots
// all miss), scaled (a printer fitting the page to its paper shrinks it by 4 %) or missing its
// text (a seventh of the dark pixels) leaves far more.
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libgen.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "integration/support/program_run.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPdfPrinterPpd = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";
// Unmatched dark pixels allowed, in thousandths of the page's dark pixels.
constexpr long kUnmatchedPerMille = 10;

struct Gray {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> px;
  bool Dark(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height &&
           px[static_cast<size_t>(y) * width + x] < 128;
  }
};

// The first page of a PWG raster stream in 8-bit grey.
std::optional<Gray> ReadPwgRaster(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return std::nullopt;
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
  std::optional<Gray> page;
  cups_page_header2_t header;
  if (raster && cupsRasterReadHeader2(raster, &header) && header.cupsColorSpace == CUPS_CSPACE_SW &&
      header.cupsBitsPerPixel == 8) {
    Gray g;
    g.width = static_cast<int>(header.cupsWidth);
    g.height = static_cast<int>(header.cupsHeight);
    g.px.resize(static_cast<size_t>(header.cupsBytesPerLine) * header.cupsHeight);
    std::vector<uint8_t> line(header.cupsBytesPerLine);
    bool complete = true;
    for (int y = 0; y < g.height && complete; ++y) {
      complete = cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) ==
                 header.cupsBytesPerLine;
      std::copy(line.begin(), line.begin() + g.width,
                g.px.begin() + static_cast<ptrdiff_t>(y) * g.width);
    }
    if (complete) page = std::move(g);
  }
  if (raster) cupsRasterClose(raster);
  close(fd);
  return page;
}

std::optional<Gray> ReadPgm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int max_value = 0;
  Gray g;
  in >> magic >> g.width >> g.height >> max_value;
  if (!in || magic != "P5" || max_value != 255) return std::nullopt;
  in.get();
  g.px.resize(static_cast<size_t>(g.width) * g.height);
  in.read(reinterpret_cast<char*>(g.px.data()), static_cast<std::streamsize>(g.px.size()));
  if (!in) return std::nullopt;
  return g;
}

// Dark pixels of `a` with no dark pixel of `b` on or beside them, and all dark pixels of `a`.
struct Unmatched {
  long unmatched = 0;
  long dark = 0;
};
Unmatched DarkNotIn(const Gray& a, const Gray& b) {
  Unmatched u;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      if (!a.Dark(x, y)) continue;
      ++u.dark;
      bool near = false;
      for (int dy = -1; dy <= 1 && !near; ++dy) {
        for (int dx = -1; dx <= 1 && !near; ++dx) near = b.Dark(x + dx, y + dy);
      }
      u.unmatched += !near;
    }
  }
  return u;
}

std::string FormsDir() {
  std::string exe = ProgramPath();
  return std::string(dirname(exe.data())) + "/forms";
}

struct Page {
  int paper_type;
  const char* what;
};

void PrintTo(const Page& page, std::ostream* os) { *os << page.what; }

class PrinterRasterTest : public ::testing::TestWithParam<Page> {};

TEST_P(PrinterRasterTest, TheSchedulersRasterIsPopplersPage) {
  constexpr int kBlank = 1;
  ProgramDir dir;
  for (const char* ext : {"GFX", "DAT"}) {
    const std::string name = "KORDEL" + std::to_string(kBlank) + "A." + ext;
    fs::copy_file(FormsDir() + "/" + name, dir.File(name));
  }
  dir.WriteJob(kBlank, GetParam().paper_type, 25, 25,
               {{0, "|Smith Industries|Sofia 1000|"},
                {3, "|ABCDEFGHIJKLMNOPQRSTUVWXYZ|"},
                {4, "|0123456789 0123456789 0123|"}},
               "Arial");
  const RunResult run = dir.Run();
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  const std::string pdf = dir.File("ZOBAX.PDF");

  const std::string raster_path = dir.File("page.pwg");
  const std::string filter = std::string("cupsfilter -p ") + kPdfPrinterPpd +
                             " -m image/pwg-raster -o media=A4 -o print-scaling=none"
                             " -o print-color-mode=monochrome '" +
                             pdf + "' > '" + raster_path + "' 2>/dev/null";
  ASSERT_EQ(std::system(filter.c_str()), 0) << filter;
  const std::string poppler = "pdftoppm -gray -aa no -aaVector no -r 600 -singlefile '" + pdf +
                              "' '" + dir.File("poppler") + "' 2>/dev/null";
  ASSERT_EQ(std::system(poppler.c_str()), 0) << poppler;

  const std::optional<Gray> filtered = ReadPwgRaster(raster_path);
  const std::optional<Gray> drawn = ReadPgm(dir.File("poppler.pgm"));
  ASSERT_TRUE(filtered.has_value());
  ASSERT_TRUE(drawn.has_value());
  // A4 at 600 dpi; the filters give the page in whole points (595 x 841), poppler rounds up.
  EXPECT_NEAR(filtered->width, drawn->width, 4);
  EXPECT_NEAR(filtered->height, drawn->height, 10);

  const Unmatched only_filtered = DarkNotIn(*filtered, *drawn);
  const Unmatched only_drawn = DarkNotIn(*drawn, *filtered);
  std::printf(
      "%s: %ld of %ld dark pixels of the filters' page unmatched, %ld of %ld of poppler's\n",
      GetParam().what, only_filtered.unmatched, only_filtered.dark, only_drawn.unmatched,
      only_drawn.dark);
  ASSERT_GT(only_drawn.dark, 100000) << "poppler's page is nearly empty";
  EXPECT_LE(only_filtered.unmatched * 1000, only_filtered.dark * kUnmatchedPerMille)
      << only_filtered.unmatched << " of the filters' " << only_filtered.dark
      << " dark pixels have no dark pixel beside them in poppler's page";
  EXPECT_LE(only_drawn.unmatched * 1000, only_drawn.dark * kUnmatchedPerMille)
      << only_drawn.unmatched << " of poppler's " << only_drawn.dark
      << " dark pixels have no dark pixel beside them in the filters' page";
}

INSTANTIATE_TEST_SUITE_P(ComposedAndDirect, PrinterRasterTest,
                         ::testing::Values(Page{0, "composed picture"},
                                           Page{2, "dots, lines and text"}),
                         [](const ::testing::TestParamInfo<Page>& info) {
                           return "Mode" + std::to_string(info.param.paper_type);
                         });

}  // namespace
}  // namespace tolv::testing
