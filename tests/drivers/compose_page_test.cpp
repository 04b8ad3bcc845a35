// The composed page drivers: the background and the rows composed on Picture2, the picture placed
// on the page once per copy, the cut line, the second copy or second page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "form/tolv_form.h"
#include "job/job.h"
#include "platform/recording/recording.h"

namespace tolv {
namespace {

using recording::PaintPicture;

// The file printer's device: 600 dpi, 4961 x 7016 printable pixels.
constexpr double kPixelsPerMm = 600 / 25.4;
constexpr float kPageWidth = 4961;
constexpr float kPageHeight = 7016;
const std::string kBackgroundPath = "/tolv/KORDEL1A.GFX";

// A background whose every pixel differs from its neighbours.
PicturePtr Background(int32_t width, int32_t height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 7919u);
  return std::make_shared<Picture>(width, height, std::move(pixels));
}

struct ComposeRig {
  JobState job;
  recording::RecordingPlatform platform;
  TolvForm form{job, platform};
  PicturePtr background;

  ComposeRig(int16_t blank, int16_t paper_type, bool second_copy = true) {
    job.PrintJob.Blank = blank;
    job.PrintJob.PaperType = paper_type;
    job.PrintJob.OffsetX = 25;
    job.PrintJob.OffsetY = 25;
    job.PrintJob.FormImagePath = kBackgroundPath;
    job.PrintJob.CopyImagePath = second_copy ? kBackgroundPath : "";
    job.PrintJob.LastRowIndex = 3;
    job.Zoom = 1;
    job.FontFace = U"DejaVu Sans";
    job.Rows[3] = U"AB";
    job.PixelsPerMmX = kPixelsPerMm;
    job.PixelsPerMmY = kPixelsPerMm;
  }

  void LoadableBackground(int32_t width, int32_t height) {
    background = Background(width, height);
    platform.AddPicture(kBackgroundPath, background);
  }

  void Run(bool maxi) { maxi ? form.ComposePageMaxi() : form.ComposePageMini(); }

  // The printer's page-level calls in order: "P<x>,<y> <w>x<h>", "L<y>", "N" (new page), "E".
  std::vector<std::string> Page() const {
    std::vector<std::string> out;
    for (const recording::Op& op : platform.OpsOf("Printer")) {
      if (const auto* d = std::get_if<PaintPicture>(&op)) {
        out.push_back("P" + Int(d->x) + "," + Int(d->y) + " " + Int(d->width) + "x" +
                      Int(d->height));
      } else if (const auto* l = std::get_if<recording::Line>(&op)) {
        EXPECT_EQ(l->draw_style, 2);
        EXPECT_EQ(l->x1, 0);
        EXPECT_EQ(l->x2, kPageWidth);
        EXPECT_EQ(l->y1, l->y2);
        out.push_back("L" + Int(l->y1));
      } else if (std::holds_alternative<recording::NewPage>(op)) {
        out.push_back("N");
      } else if (std::holds_alternative<recording::EndDoc>(op)) {
        out.push_back("E");
      }
    }
    return out;
  }

  std::vector<PaintPicture> Draws() const {
    std::vector<PaintPicture> draws;
    for (const recording::Op& op : platform.OpsOf("Printer")) {
      if (const auto* d = std::get_if<PaintPicture>(&op)) draws.push_back(*d);
    }
    return draws;
  }

  std::vector<recording::Print> Prints() const {
    std::vector<recording::Print> prints;
    for (const recording::Op& op : platform.OpsOf("Picture2")) {
      if (const auto* p = std::get_if<recording::Print>(&op)) prints.push_back(*p);
    }
    return prints;
  }

  static std::string Int(double v) { return std::to_string(std::lround(v)); }
};

TEST(ComposePageMiniTest, CentredPairWithCutLineAndSecondCopy) {
  ComposeRig rig(1, 0);
  rig.LoadableBackground(2087, 1576);
  rig.Run(false);
  // W = 139 mm and H = 105 mm at 600 dpi; OffsetX 25 centres the copy across, OffsetY 25 centres
  // a block of 2.25 H: X = (4961 - 3283.46) / 2, Y = (7016 - 2.25 * 2480.31) / 2.
  EXPECT_THAT(rig.Page(),
              ::testing::ElementsAre("P839,718 3283x2480", "L3384", "P839,3570 3283x2480", "E"));
  const std::vector<PaintPicture> draws = rig.Draws();
  ASSERT_EQ(draws.size(), 2u);
  // One composed picture serves both copies, so the document stores it once.
  EXPECT_EQ(draws[0].picture, draws[1].picture);
  // Picture2 let go of it before the document was finished.
  EXPECT_EQ(rig.form.Picture2().Picture(), nullptr);
  // The rows went onto Picture2 in the composed font.
  const std::vector<recording::Print> prints = rig.Prints();
  ASSERT_FALSE(prints.empty());
  for (const recording::Print& p : prints) {
    EXPECT_EQ(p.font.name, U"DejaVu Sans");
    EXPECT_EQ(p.font.size, 40);
    EXPECT_TRUE(p.font.bold);
  }
}

TEST(ComposePageMiniTest, CutLineWithoutSecondCopy) {
  ComposeRig rig(1, 0, /*second_copy=*/false);
  rig.LoadableBackground(2087, 1576);
  rig.Run(false);
  EXPECT_THAT(rig.Page(), ::testing::ElementsAre("P839,718 3283x2480", "L3384", "E"));
}

TEST(ComposePageMiniTest, BandedCopiesArePlacedAsTheWholeOnes) {
  ComposeRig rig(2, 1);
  rig.LoadableBackground(2087, 1576);
  rig.Run(false);
  const std::vector<PaintPicture> draws = rig.Draws();
  ASSERT_EQ(draws.size(), 40u);
  // 2480 \ 20 = 124 device pixels a band; 1576 \ 20 = 78 source rows a band.
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(draws[i].y, 718 + 124 * i);
    EXPECT_EQ(draws[20 + i].y, 3570 + 124 * i);
    EXPECT_EQ(draws[i].picture->height(), 78);
    EXPECT_EQ(draws[i].picture->pixels(), draws[20 + i].picture->pixels()) << "band " << i;
    EXPECT_EQ(draws[i].picture->pixel(100, 5), rig.background->pixel(100, 78 * i + 5));
  }
  EXPECT_EQ(rig.Page()[20], "L3384");
}

TEST(ComposePageMiniTest, Picture2TakesPicture1sSizeAndBackground) {
  ComposeRig rig(7, 0);
  rig.LoadableBackground(1500, 900);
  rig.Run(false);
  ASSERT_FALSE(rig.Draws().empty());
  const PicturePtr composed = rig.Draws()[0].picture;
  EXPECT_EQ(composed->width(), 1500);
  EXPECT_EQ(composed->height(), 900);
  for (const auto& [x, y] : {std::pair{0, 0}, std::pair{1499, 899}, std::pair{733, 412}}) {
    EXPECT_EQ(composed->pixel(x, y), rig.background->pixel(x, y)) << x << "," << y;
  }
  // The stretch to the form's size is the printer's; the picture keeps its own.
  EXPECT_EQ(rig.Draws()[0].width, 3283);
}

TEST(ComposePageMiniTest, MissingBackgroundComposesOnPicture1sDesignSize) {
  ComposeRig rig(1, 0);  // no picture at the path
  rig.Run(false);
  ASSERT_FALSE(rig.Draws().empty());
  const PicturePtr composed = rig.Draws()[0].picture;
  EXPECT_EQ(composed->width(), 2087);
  EXPECT_EQ(composed->height(), 3040);
  EXPECT_EQ(composed->pixel(1000, 1000), 0xFFFFFFFFu);
  bool row_printed = false;
  for (const recording::Print& p : rig.Prints()) row_printed |= p.text == U"A";
  EXPECT_TRUE(row_printed);
  EXPECT_THAT(rig.Page(),
              ::testing::ElementsAre("P839,718 3283x2480", "L3384", "P839,3570 3283x2480", "E"));
}

TEST(ComposePageMiniTest, WithoutAPrinterTheDriverStillReturns) {
  recording::PrinterSetup none;
  none.available = false;
  JobState job;
  job.PrintJob.CopyImagePath = "x";
  for (int16_t paper_type : {0, 1}) {
    job.PrintJob.PaperType = paper_type;
    recording::RecordingPlatform platform(none);
    TolvForm form(job, platform);
    EXPECT_NO_THROW(form.ComposePageMini());
    EXPECT_NO_THROW(form.ComposePageMaxi());
    EXPECT_EQ(platform.printer().documents_ended(), 0);
  }
}

TEST(ComposePageMaxiTest, FormType6IsOneCopyWithoutLineOrPage) {
  ComposeRig rig(6, 0, /*second_copy=*/false);
  rig.LoadableBackground(2087, 3083);
  rig.Run(true);
  // H = 205.3 mm = 4849.61 pixels, centred alone: Y = (7016 - 4849.61) / 2.
  EXPECT_THAT(rig.Page(), ::testing::ElementsAre("P839,1083 3283x4850", "E"));
  for (const recording::Print& p : rig.Prints()) EXPECT_EQ(p.font.size, 34);
}

TEST(ComposePageMaxiTest, TwoCopiesThatDoNotFitGoOnTwoPagesAtTheSamePlace) {
  for (int16_t paper_type : {0, 1}) {
    ComposeRig rig(3, paper_type);
    rig.job.Zoom = 1.2;  // H = 141 mm * 1.2 = 3996.85 pixels; 2 H > 7016
    rig.LoadableBackground(2087, 2117);
    rig.Run(true);
    const std::vector<std::string> page = rig.Page();
    const size_t per_copy = paper_type == 1 ? 20 : 1;
    ASSERT_EQ(page.size(), 2 * per_copy + 2);
    EXPECT_EQ(page[per_copy], "N");
    EXPECT_EQ(page.back(), "E");
    const std::vector<PaintPicture> draws = rig.Draws();
    for (size_t i = 0; i < per_copy; ++i) {
      EXPECT_EQ(page[i], page[per_copy + 1 + i]);
      EXPECT_EQ(draws[i].picture->pixels(), draws[per_copy + i].picture->pixels());
    }
    // Placed for one copy: Y = (7016 - 3996.85) / 2.
    EXPECT_EQ(page[0].substr(0, 10), "P510,1510 ");
  }
}

TEST(ComposePageMaxiTest, TwoCopiesExactlyAsHighAsThePageShareIt) {
  ComposeRig rig(4, 0);
  rig.job.PixelsPerMmY = 3508.0 / 141;  // H = 3508, 2 H = 7016: fits
  rig.LoadableBackground(2087, 2117);
  rig.Run(true);
  // No room left: Y = 0; the cut line along the first copy's bottom, the copy 1.01 H lower.
  EXPECT_THAT(rig.Page(),
              ::testing::ElementsAre("P839,0 3283x3508", "L3508", "P839,3543 3283x3508", "E"));
  const std::vector<PaintPicture> draws = rig.Draws();
  EXPECT_EQ(draws[0].picture, draws[1].picture);
}

}  // namespace
}  // namespace tolv
