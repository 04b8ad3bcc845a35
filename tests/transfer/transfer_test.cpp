// The composed picture onto the printer: one stretched draw, or twenty bands whose pictures carry
// exactly their source rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "form/tolv_form.h"
#include "job/job.h"
#include "platform/recording/recording.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

using recording::PaintPicture;

// Every pixel tells where it came from: its row in bits 13 and up, its column below.
uint32_t SourcePixel(int32_t x, int32_t row) {
  return 0xFF000000u | (static_cast<uint32_t>(row) << 13) | static_cast<uint32_t>(x);
}

PicturePtr TracedPicture(int32_t width, int32_t height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t x = 0; x < width; ++x)
      pixels[static_cast<size_t>(row) * width + x] = SourcePixel(x, row);
  }
  return std::make_shared<Picture>(width, height, std::move(pixels));
}

struct TransferRig {
  JobState job;
  recording::RecordingPlatform platform;
  TolvForm form{job, platform};

  explicit TransferRig(int16_t paper_type) { job.PrintJob.PaperType = paper_type; }

  // Picture2 as the composed drivers leave it: sized, holding the page as picture and image.
  void Compose(int32_t width, int32_t height) {
    PictureBox& p2 = form.Picture2();
    p2.SetWidth(static_cast<float>(width) * 15);
    p2.SetHeight(static_cast<float>(height) * 15);
    p2.SetPicture(TracedPicture(width, height));
    p2.SetAutoRedraw(false);
    platform.log().clear();
  }

  std::vector<PaintPicture> Draws() const {
    std::vector<PaintPicture> draws;
    for (const recording::Op& op : platform.OpsOf("Printer")) {
      if (const auto* d = std::get_if<PaintPicture>(&op)) draws.push_back(*d);
    }
    return draws;
  }
};

// Band i's picture holds source rows rows * i .. rows * (i + 1) - 1 at the full width, unchanged.
void ExpectBand(const PaintPicture& draw, int band, int32_t rows, int32_t width) {
  ASSERT_NE(draw.picture, nullptr);
  ASSERT_EQ(draw.picture->width(), width) << "band " << band;
  ASSERT_EQ(draw.picture->height(), rows) << "band " << band;
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t x = 0; x < width; ++x) {
      ASSERT_EQ(draw.picture->pixel(x, r), SourcePixel(x, rows * band + r))
          << "band " << band << " at " << x << "," << r;
    }
  }
}

TEST(TransferPictureTest, EveryModeButOneDrawsPicture2OnceIntoTheWholeRectangle) {
  for (int16_t paper_type : {0, 2, 3, -1}) {
    TransferRig rig(paper_type);
    rig.Compose(300, 400);
    rig.form.TransferPicture(120, 80, 1500, 2000);
    const std::vector<PaintPicture> draws = rig.Draws();
    ASSERT_EQ(draws.size(), 1u) << paper_type;
    EXPECT_EQ(draws[0].picture, rig.form.Picture2().Picture());
    EXPECT_EQ(draws[0].x, 120);
    EXPECT_EQ(draws[0].y, 80);
    EXPECT_EQ(draws[0].width, 1500);
    EXPECT_EQ(draws[0].height, 2000);
    // The banded method's read of the whole picture never happened.
    EXPECT_TRUE(rig.platform.OpsOf("Picture1").empty());
    EXPECT_TRUE(rig.platform.OpsOf("DestPic").empty());
  }
}

TEST(TransferPictureTest, AFailureGoesBackToTheCaller) {
  // No skip-and-continue of its own: the driver must learn that the copy was not drawn.
  recording::PrinterSetup no_printer;
  no_printer.available = false;
  JobState job;
  recording::RecordingPlatform platform(no_printer);
  TolvForm form(job, platform);
  EXPECT_THROW(form.TransferPicture(0, 0, 100, 100), RuntimeError);
}

TEST(TransferPictureBandedTest, TwentyBandsTileTheRectangleTopDown) {
  struct Case {
    int32_t H;
    int32_t band_height;
  };
  // A height that is no multiple of 20 loses its remainder below the last band.
  for (const Case c : {Case{1000, 50}, Case{1019, 50}}) {
    TransferRig rig(1);
    rig.Compose(64, 1000);
    rig.form.TransferPicture(30, 200, 777, c.H);
    const std::vector<PaintPicture> draws = rig.Draws();
    ASSERT_EQ(draws.size(), 20u);
    for (int i = 0; i < 20; ++i) {
      EXPECT_EQ(draws[i].x, 30);
      EXPECT_EQ(draws[i].y, 200 + 50 * i) << "band " << i;
      EXPECT_EQ(draws[i].width, 777);
      EXPECT_EQ(draws[i].height, c.band_height);
      ExpectBand(draws[i], i, 50, 64);
    }
    EXPECT_EQ(draws[19].y + draws[19].height, 200 + 1000);
  }
}

TEST(TransferPictureBandedTest, SourceRowsBeyondTwentyBandsAreLeftOut) {
  TransferRig rig(1);
  rig.Compose(40, 1010);
  rig.form.TransferPicture(0, 0, 400, 1000);
  const std::vector<PaintPicture> draws = rig.Draws();
  ASSERT_EQ(draws.size(), 20u);
  // 50 rows a band: the last band ends at source row 999, rows 1000 to 1009 go nowhere.
  for (int i = 0; i < 20; ++i) ExpectBand(draws[i], i, 50, 40);
  // The whole picture was read once, top row first.
  const std::vector<recording::Op> reads = rig.platform.OpsOf("Picture2");
  int gets = 0;
  for (const recording::Op& op : reads) {
    if (const auto* g = std::get_if<recording::GetImageRows>(&op)) {
      ++gets;
      EXPECT_EQ(g->first_row, 0);
      EXPECT_EQ(g->count, 1010);
    }
  }
  EXPECT_EQ(gets, 1);
}

TEST(TransferPictureBandedTest, TheSecondCopyPrintsExactlyAsTheFirst) {
  TransferRig rig(1);
  rig.Compose(48, 600);
  rig.form.TransferPicture(10, 20, 480, 600);
  const std::vector<PaintPicture> first = rig.Draws();
  // Picture1 is one band high now; the second copy must not lose or mix rows of its first band.
  EXPECT_EQ(rig.form.Picture1().Height(), 30 * 15.0f);
  rig.platform.log().clear();
  rig.form.TransferPicture(10, 700, 480, 600);
  const std::vector<PaintPicture> second = rig.Draws();
  ASSERT_EQ(first.size(), 20u);
  ASSERT_EQ(second.size(), 20u);
  for (int i = 0; i < 20; ++i) {
    ExpectBand(second[i], i, 30, 48);
    EXPECT_EQ(second[i].y, 700 + 30 * i);
    EXPECT_EQ(second[i].picture->pixels(), first[i].picture->pixels()) << "band " << i;
  }
}

TEST(TransferPictureBandedTest, BandsDoNotDependOnWhatPicture1HeldBefore) {
  // A background that failed to load leaves Picture1 at its design size, far wider than the
  // page; and a box squeezed to a sliver must grow back to the page's size.
  for (const float picture1_width : {31305.0f, 15.0f}) {
    TransferRig rig(1);
    rig.form.Picture1().SetWidth(picture1_width);
    rig.form.Picture1().SetHeight(15.0f);
    rig.Compose(100, 200);
    rig.form.TransferPicture(0, 0, 1000, 2000);
    const std::vector<PaintPicture> draws = rig.Draws();
    ASSERT_EQ(draws.size(), 20u);
    for (int i = 0; i < 20; ++i) ExpectBand(draws[i], i, 10, 100);
  }
}

TEST(TransferPictureBandedTest, WidePicturesAreStillTransferred) {
  // From 8192 pixels on the 16-bit line stride overflows; the transfer carries on all the same.
  for (const int32_t width : {8191, 8192, 9000}) {
    TransferRig rig(1);
    rig.Compose(width, 40);
    rig.form.TransferPicture(0, 0, 4000, 400);
    const std::vector<PaintPicture> draws = rig.Draws();
    ASSERT_EQ(draws.size(), 20u) << width;
    for (int i = 0; i < 20; ++i) ExpectBand(draws[i], i, 2, width);
  }
}

TEST(TransferPictureBandedTest, TinyPicturesAndHeightsDrawNothingAndReturn) {
  struct Case {
    int32_t Hs;
    int32_t H;
    int32_t band_rows;
    int32_t band_height;
  };
  // Fewer than 20 source rows make empty bands; fewer than 20 target rows make flat ones.
  for (const Case c : {Case{1, 1000, 0, 50}, Case{19, 1000, 0, 50}, Case{0, 1000, 0, 50},
                       Case{400, 19, 20, 0}, Case{400, 0, 20, 0}, Case{1, 1, 0, 0}}) {
    TransferRig rig(1);
    rig.Compose(16, c.Hs);
    rig.form.TransferPicture(5, 6, 100, c.H);
    const std::vector<PaintPicture> draws = rig.Draws();
    ASSERT_EQ(draws.size(), 20u) << c.Hs << " " << c.H;
    for (int i = 0; i < 20; ++i) {
      EXPECT_EQ(draws[i].y, 6 + c.band_height * i);
      EXPECT_EQ(draws[i].height, c.band_height);
      ExpectBand(draws[i], i, c.band_rows, 16);
    }
  }
}

}  // namespace
}  // namespace tolv
