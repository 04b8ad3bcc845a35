// The page on the paper each queue really has. One private scheduler holds queues made the
// ordinary way, with no media saved: a driverless A4 printer, PostScript lasers on A4 and on Letter
// with unequal margins, a raster driver on A4, the 24-pin dot-matrix driver on continuous forms of
// a custom size, and a laser whose default is a custom half sheet. For each, the program prints a
// form and what the queue made of it is read back: the PDF the driverless printer received, the
// PostScript a laser's queue wrote, the raster a driver was handed. The marks (text, dots, cut
// line) must land where they are on the page the program laid out, within 0.2 mm, on a sheet of
// the queue's own size.
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libgen.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "integration/support/program_run.h"
#include "support/cups_harness.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

constexpr double kToleranceMm = 0.2;
constexpr int kRenderDpi = 600;
constexpr const char* kA4Laser = "openprinting-ppds:0/ppd/openprinting/Brother/BR2600CN_GPL.ppd";
constexpr const char* kLetterInkjet =
    "openprinting-ppds:0/ppd/openprinting/HP/hp_officejet_9100_series.ppd";

// The dark marks of a page: their bounding box and the sheet, in millimetres from its top left.
struct Marks {
  double sheet_width = 0, sheet_height = 0;
  double left = 1e9, top = 1e9, right = -1, bottom = -1;
  long dark = 0;
  // Where a raster that covers only the printable area ends: nothing beyond it can print.
  double covered_right = 1e9, covered_bottom = 1e9;
};

// Adds a dark pixel at (x, y) of a page at `dpi_x` by `dpi_y`.
void Mark(Marks& m, int x, int y, double dpi_x, double dpi_y) {
  ++m.dark;
  m.left = std::min(m.left, x * 25.4 / dpi_x);
  m.top = std::min(m.top, y * 25.4 / dpi_y);
  m.right = std::max(m.right, (x + 1) * 25.4 / dpi_x);
  m.bottom = std::max(m.bottom, (y + 1) * 25.4 / dpi_y);
}

// A PDF or PostScript page drawn by Ghostscript in grey at kRenderDpi.
std::optional<Marks> RenderedMarks(const std::string& path, const std::string& scratch) {
  const std::string pgm = scratch + ".pgm";
  const std::string gs =
      "gs -q -dSAFER -dNOPAUSE -dBATCH -dFirstPage=1 -dLastPage=1 "
      "-sDEVICE=pgmraw -r" +
      std::to_string(kRenderDpi) + " -sOutputFile='" + pgm + "' '" + path + "' >/dev/null 2>&1";
  if (std::system(gs.c_str()) != 0) return std::nullopt;
  std::ifstream in(pgm, std::ios::binary);
  // The header's words, past Ghostscript's comment lines.
  const auto word = [&in] {
    std::string w;
    while (in >> w && w[0] == '#') std::getline(in, w);
    return w;
  };
  const std::string magic = word();
  const int width = std::atoi(word().c_str());
  const int height = std::atoi(word().c_str());
  const int max_value = std::atoi(word().c_str());
  in.get();
  if (!in || magic != "P5" || max_value != 255) return std::nullopt;
  Marks m;
  m.sheet_width = width * 25.4 / kRenderDpi;
  m.sheet_height = height * 25.4 / kRenderDpi;
  std::vector<unsigned char> row(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    in.read(reinterpret_cast<char*>(row.data()), width);
    for (int x = 0; x < width; ++x) {
      if (row[static_cast<size_t>(x)] < 128) Mark(m, x, y, kRenderDpi, kRenderDpi);
    }
  }
  return in ? std::optional<Marks>(m) : std::nullopt;
}

// The first page of a CUPS raster as a driver is handed it: black (K) at 1 or 8 bits, grey (W,
// SW) or RGB at 8 bits.
std::optional<Marks> RasterMarks(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return std::nullopt;
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
  cups_page_header2_t h;
  std::optional<Marks> found;
  if (raster != nullptr && cupsRasterReadHeader2(raster, &h)) {
    Marks m;
    const double dpi_x = h.HWResolution[0], dpi_y = h.HWResolution[1];
    m.sheet_width = h.cupsPageSize[0] / 72.0 * 25.4;
    m.sheet_height = h.cupsPageSize[1] / 72.0 * 25.4;
    // The raster covers the imageable area when the driver says so, else the whole sheet.
    const int x0 = static_cast<int>(h.ImagingBoundingBox[0] / 72.0 * dpi_x);
    const int y0 = static_cast<int>((h.PageSize[1] - h.ImagingBoundingBox[3]) / 72.0 * dpi_y);
    const bool whole_sheet = h.cupsWidth >= std::floor(h.cupsPageSize[0] / 72.0 * dpi_x) - 1;
    const int off_x = whole_sheet ? 0 : x0, off_y = whole_sheet ? 0 : y0;
    m.covered_right = (off_x + h.cupsWidth) * 25.4 / dpi_x;
    m.covered_bottom = (off_y + h.cupsHeight) * 25.4 / dpi_y;
    std::vector<unsigned char> line(h.cupsBytesPerLine);
    bool complete = true;
    for (unsigned y = 0; y < h.cupsHeight && complete; ++y) {
      complete =
          cupsRasterReadPixels(raster, line.data(), h.cupsBytesPerLine) == h.cupsBytesPerLine;
      for (unsigned x = 0; x < h.cupsWidth && complete; ++x) {
        bool dark = false;
        if (h.cupsColorSpace == CUPS_CSPACE_K && h.cupsBitsPerPixel == 1) {
          dark = (line[x / 8] >> (7 - x % 8)) & 1;
        } else if (h.cupsColorSpace == CUPS_CSPACE_K && h.cupsBitsPerPixel == 8) {
          dark = line[x] >= 128;
        } else if ((h.cupsColorSpace == CUPS_CSPACE_W || h.cupsColorSpace == CUPS_CSPACE_SW) &&
                   h.cupsBitsPerPixel == 8) {
          dark = line[x] < 128;
        } else if ((h.cupsColorSpace == CUPS_CSPACE_RGB || h.cupsColorSpace == CUPS_CSPACE_SRGB) &&
                   h.cupsBitsPerPixel == 24) {
          dark = line[3 * x] + line[3 * x + 1] + line[3 * x + 2] < 3 * 128;
        } else {
          complete = false;
        }
        if (dark) Mark(m, off_x + static_cast<int>(x), off_y + static_cast<int>(y), dpi_x, dpi_y);
      }
    }
    if (complete) found = m;
  }
  if (raster != nullptr) cupsRasterClose(raster);
  close(fd);
  return found;
}

enum class Output { kReceivedPdf, kPostScript, kRaster };

struct Queue {
  const char* name;
  const char* what;
  std::string model;  // lpadmin -m, and any PPD defaults the queue was made with
  Output output;
  const char* driver;                // the raster driver whose raster is kept
  double sheet_width, sheet_height;  // mm
  bool second_copy_off = false;      // the mini form's second copy runs off the sheet
};

std::string FormsDir() {
  std::string exe = ProgramPath();
  return std::string(dirname(exe.data())) + "/forms";
}

// The files in `dir` whose names end in `suffix`.
std::vector<std::string> FilesEndingIn(const std::string& dir, const std::string& suffix) {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& e : fs::directory_iterator(dir, error)) {
    if (e.path().string().ends_with(suffix) && fs::file_size(e.path(), error) > 0) {
      found.push_back(e.path());
    }
  }
  return found;
}

TEST(QueuePaperTest, TheMarksLandWhereTheFormBelongsOnEveryQueuesOwnPaper) {
  if (std::system("test -x /usr/lib/cups/driver/openprinting-ppds && command -v gs >/dev/null && "
                  "test -f /usr/share/cups/drv/hpcups.drv") != 0) {
    GTEST_SKIP() << "openprinting-ppds, printer-driver-hpcups or ghostscript is not installed";
  }
  char pattern[] = "/tmp/tolv-a4-ppd-XXXXXX";
  const int ppd_fd = mkstemp(pattern);
  ASSERT_GE(ppd_fd, 0);
  close(ppd_fd);
  const std::string a4_ppd = pattern;
  // The virtual printer takes its attributes from the A4 laser's PPD, with A4 to the hundredth of
  // a millimetre: it refuses a media-col of 210 x 297 mm when its own A4 is 595 x 842 points.
  ASSERT_EQ(std::system(("/usr/lib/cups/driver/openprinting-ppds cat " + std::string(kA4Laser) +
                         " | sed 's|^.PaperDimension A4/A4: \"595 842\"|*PaperDimension A4/A4: "
                         "\"595.28 841.89\"|' >" +
                         a4_ppd)
                            .c_str()),
            0);
  setenv("TEST_CUPS_A4_PRINTER", a4_ppd.c_str(), 1);
  setenv("TEST_CUPS_KEEP_RASTER", "hpcups rastertoepson", 1);
  PrivateCupsScheduler scheduler;
  unsetenv("TEST_CUPS_A4_PRINTER");
  unsetenv("TEST_CUPS_KEEP_RASTER");
  fs::remove(a4_ppd);
  if (!scheduler.skip_reason().empty()) GTEST_SKIP() << scheduler.skip_reason();
  ASSERT_TRUE(scheduler.started()) << scheduler.problem();
  const std::string a4_port = ReadWholeFile(scheduler.dir() + "/a4-printer-port");

  const std::vector<Queue> queues = {
      {"D", "driverless A4 printer", "everywhere", Output::kReceivedPdf, "", 210, 297},
      {"P", "PostScript A4 laser", kA4Laser, Output::kPostScript, "", 210, 297},
      {"L", "Letter inkjet with unequal margins", kLetterInkjet, Output::kPostScript, "", 215.9,
       279.4},
      {"H", "raster driver on A4", "drv:///hpcups.drv/hp-laserjet_1320.ppd -o PageSize=A4",
       Output::kRaster, "hpcups", 210, 297},
      {"E", "24-pin on 8.5 x 12 in fanfold",
       "drv:///sample.drv/epson24.ppd -o PageSize=Custom.8.5x12in -o Resolution=180dpi",
       Output::kRaster, "rastertoepson", 215.9, 304.8},
      {"S", "laser on a 210 x 148 mm half sheet",
       std::string(kA4Laser) + " -o PageSize=Custom.210x148mm", Output::kPostScript, "", 210, 148,
       true},
  };
  std::vector<std::string> settings;
  for (const auto& [name, value] : scheduler.environment()) settings.push_back(name + "=" + value);

  for (const Queue& q : queues) {
    SCOPED_TRACE(q.what);
    const std::string uri =
        q.output == Output::kReceivedPdf
            ? "ipp://127.0.0.1:" + a4_port.substr(0, a4_port.find('\n')) + "/ipp/print"
            : "file://" + scheduler.dir() + "/out/" + q.name + ".prn";
    ASSERT_EQ(
        scheduler.Run("lpadmin -p " + std::string(q.name) + " -E -v " + uri + " -m " + q.model), 0);
    // The scheduler writes a driverless queue's PPD after lpadmin returns.
    for (int i = 0; i < 100 && !fs::exists(scheduler.dir() + "/root/ppd/" + q.name + ".ppd"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    ProgramDir dir;
    for (const char* ext : {"GFX", "DAT"}) {
      fs::copy_file(FormsDir() + "/KORDEL1A." + ext, dir.File(std::string("KORDEL1A.") + ext));
    }
    dir.WriteJob(1, 2, 25, 25, {{0, "|Smith Industries|Sofia 1000|"}, {3, "|ABCDEFGHIJKLM|"}});
    std::vector<std::string> env = settings;
    env.push_back(std::string("LPDEST=") + q.name);
    const RunResult check = dir.RunWith({"--check"}, env);
    std::printf("%s (%s):\n%s", q.what, q.name, check.standard_output.c_str());
    // --check says when a copy of the form does not fit the queue's paper.
    EXPECT_EQ(check.exit_status, q.second_copy_off ? 1 : 0);
    EXPECT_EQ(check.standard_output.find("copy 2 runs ") != std::string::npos, q.second_copy_off);
    const RunResult laid = dir.RunWith({"--pdf", dir.File("laid.pdf")}, env);
    ASSERT_EQ(laid.exit_status, 0) << laid.standard_error;
    const size_t before = FilesEndingIn(scheduler.dir() + "/printed-a4", ".pdf").size();
    const RunResult run = dir.RunWith({}, env);
    ASSERT_EQ(run.exit_status, 0) << run.standard_error;

    // The job has gone through the queue when the scheduler lists no job of it.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (scheduler.Run("test -z \"$(lpstat -o " + std::string(q.name) + ")\"") != 0) {
      ASSERT_LT(std::chrono::steady_clock::now(), end) << "the job never left the queue";
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::optional<Marks> printed;
    if (q.output == Output::kReceivedPdf) {
      while (FilesEndingIn(scheduler.dir() + "/printed-a4", ".pdf").size() == before) {
        ASSERT_LT(std::chrono::steady_clock::now(), end) << "the printer never got the job";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      std::vector<std::string> received = FilesEndingIn(scheduler.dir() + "/printed-a4", ".pdf");
      std::sort(received.begin(), received.end());
      printed = RenderedMarks(received.back(), dir.File("printed"));
    } else if (q.output == Output::kPostScript) {
      printed = RenderedMarks(scheduler.dir() + "/out/" + q.name + ".prn", dir.File("printed"));
    } else {
      const std::vector<std::string> rasters =
          FilesEndingIn(scheduler.dir() + "/raster", std::string("-") + q.driver + ".ras");
      ASSERT_EQ(rasters.size(), 1u);
      printed = RasterMarks(rasters[0]);
    }
    const std::optional<Marks> expected = RenderedMarks(dir.File("laid.pdf"), dir.File("laid"));
    ASSERT_TRUE(printed.has_value());
    ASSERT_TRUE(expected.has_value());
    ASSERT_GT(expected->dark, 1000);
    ASSERT_GT(printed->dark, 1000);
    // What the page has beyond the queue's printable area the printer cannot print.
    double area_w = 1e9, area_h = 1e9, area_left = 0, area_top = 0;
    const size_t area = check.standard_output.find("printable area");
    ASSERT_NE(area, std::string::npos) << check.standard_output;
    ASSERT_EQ(std::sscanf(check.standard_output.c_str() + area,
                          "printable area %lf x %lf mm from %lf mm left, %lf mm top", &area_w,
                          &area_h, &area_left, &area_top),
              4);
    const double right_limit = std::min(printed->covered_right, area_left + area_w);
    const double bottom_limit = std::min(printed->covered_bottom, area_top + area_h);
    const double worst = std::max(
        {std::abs(printed->left - expected->left), std::abs(printed->top - expected->top),
         std::abs(std::min(printed->right, right_limit) - std::min(expected->right, right_limit)),
         std::abs(std::min(printed->bottom, bottom_limit) -
                  std::min(expected->bottom, bottom_limit))});
    std::printf(
        "%s: sheet %.1f x %.1f mm (laid out on %.1f x %.1f), marks %.2f..%.2f x "
        "%.2f..%.2f mm (laid out %.2f..%.2f x %.2f..%.2f), worst %.2f mm\n",
        q.what, printed->sheet_width, printed->sheet_height, expected->sheet_width,
        expected->sheet_height, printed->left, printed->right, printed->top, printed->bottom,
        expected->left, expected->right, expected->top, expected->bottom, worst);
    EXPECT_NEAR(printed->sheet_width, q.sheet_width, 0.5);
    EXPECT_NEAR(printed->sheet_height, q.sheet_height, 0.5);
    EXPECT_NEAR(expected->sheet_width, q.sheet_width, 0.5);
    EXPECT_NEAR(expected->sheet_height, q.sheet_height, 0.5);
    EXPECT_LE(worst, kToleranceMm);
  }
}

}  // namespace
}  // namespace tolv::testing
