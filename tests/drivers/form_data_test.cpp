// The background dots: which file is read, how each record lands in the form rectangle, and what
// happens when the file is missing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "drivers/driver_rig.h"
#include "runtime/runtime.h"
#include "surface/scale.h"
#include "tools/form_drawing.h"

namespace tolv::testing {
namespace {

using recording::PSet;

class FormDataTest : public ::testing::Test {
 protected:
  // Picture1 holds a picture of the given size in pixels; the printer counts device pixels.
  void SetUpForm(int16_t blank, int32_t picture_width, int32_t picture_height) {
    job_.PrintJob.Blank = blank;
    platform_ = std::make_unique<recording::RecordingPlatform>(TenPixelsPerMm(), dir_.path());
    form_ = std::make_unique<TolvForm>(job_, *platform_);
    form_->Picture1().SetPicture(
        recording::SolidPicture(picture_width, picture_height, 0xFFFFFFFF));
    form_->Picture1().SetScaleMode(kScalePixels);
    platform_->printer().SetScaleMode(kScalePixels);
    platform_->log().clear();
  }

  void Draw(int32_t X, int32_t Y, int32_t W, int32_t H) { form_->DrawFormData(X, Y, W, H); }

  ScratchDir dir_;
  JobState job_;
  std::unique_ptr<recording::RecordingPlatform> platform_;
  std::unique_ptr<TolvForm> form_;
};

TEST_F(FormDataTest, OneSpaceThenOneDotPerCompleteRecordInFileOrder) {
  SetUpForm(1, 100, 200);
  const std::vector<Dot> dots = {{0, 0, 0x000000}, {7, 9, 0x123456}, {7, 9, -1}};
  WriteFile(dir_.File("KORDEL1A.DAT"), EncodeDots(dots) + "\x01\x02\x03");  // 8n + 3 bytes
  Draw(10, 20, 300, 400);

  const std::vector<recording::Op> ops = platform_->OpsOf("Printer");
  ASSERT_EQ(ops.size(), 4u);
  const auto* space = std::get_if<recording::Print>(&ops[0]);
  ASSERT_NE(space, nullptr);
  EXPECT_EQ(space->text, U" ");
  // Scale 3 across and 2 down; the same pixel twice keeps both records, the later one last.
  const float expected[3][2] = {{10, 20}, {31, 38}, {31, 38}};
  for (size_t i = 0; i < dots.size(); ++i) {
    const auto* dot = std::get_if<PSet>(&ops[i + 1]);
    ASSERT_NE(dot, nullptr) << i;
    EXPECT_EQ(dot->x, expected[i][0]) << i;
    EXPECT_EQ(dot->y, expected[i][1]) << i;
    EXPECT_EQ(dot->color, dots[i].color) << i;
  }
}

TEST_F(FormDataTest, DotsScaleFromPicture1IntoTheFormRectangle) {
  // 2087 x 3040 picture pixels into 3283 x 2480 device pixels: scale factors that are not exact.
  SetUpForm(2, 2087, 3040);
  WriteFile(dir_.File("KORDEL2A.DAT"),
            EncodeDots({{0, 0, 0}, {2087, 3040, 0}, {-3, -5, 0}, {1043, 1520, 0}}));
  Draw(839, 304, 3283, 2480);

  const auto dots = OpsOfType<PSet>(*platform_);
  ASSERT_EQ(dots.size(), 4u);
  // The corner dots land exactly on the form rectangle's corners.
  EXPECT_EQ(dots[0].x, 839.0f);
  EXPECT_EQ(dots[0].y, 304.0f);
  EXPECT_EQ(dots[1].x, 839.0f + 3283.0f);
  EXPECT_EQ(dots[1].y, 304.0f + 2480.0f);
  // A negative coordinate is set all the same, left of and above the form.
  EXPECT_NEAR(dots[2].x, 839 - 3 * 3283.0 / 2087, 1e-3);
  EXPECT_NEAR(dots[2].y, 304 - 5 * 2480.0 / 3040, 1e-3);
  EXPECT_LT(dots[2].x, 839.0f);
  EXPECT_LT(dots[2].y, 304.0f);
  // Fractional positions are kept, not rounded to pixels here.
  EXPECT_NEAR(dots[3].x, 839 + 1043 * 3283.0 / 2087, 1e-3);
  EXPECT_NEAR(dots[3].y, 304 + 1520 * 2480.0 / 3040, 1e-3);
}

TEST_F(FormDataTest, ManyBlocksOfRecordsAreReadWholeAndInOrder) {
  SetUpForm(3, 1000, 1000);
  std::vector<Dot> dots;
  for (int i = 0; i < 20011; ++i) {
    dots.push_back({static_cast<int16_t>(i % 1000), static_cast<int16_t>(i / 1000), i});
  }
  WriteFile(dir_.File("KORDEL3A.DAT"), EncodeDots(dots) + "\x7f\x7f\x7f\x7f\x7f\x7f\x7f");
  Draw(0, 0, 1000, 1000);

  const auto drawn = OpsOfType<PSet>(*platform_);
  ASSERT_EQ(drawn.size(), dots.size());
  for (size_t i = 0; i < dots.size(); ++i) {
    if (drawn[i].x != dots[i].x || drawn[i].y != dots[i].y || drawn[i].color != dots[i].color) {
      ADD_FAILURE() << "record " << i << " drawn at " << drawn[i].x << "," << drawn[i].y;
      break;
    }
  }
}

TEST_F(FormDataTest, AnEmptyFileGivesTheSpaceAndNoDot) {
  SetUpForm(1, 100, 100);
  WriteFile(dir_.File("KORDEL1A.DAT"), "");
  Draw(0, 0, 100, 100);
  ASSERT_EQ(OpsOfType<recording::Print>(*platform_).size(), 1u);
  EXPECT_TRUE(OpsOfType<PSet>(*platform_).empty());
  EXPECT_TRUE(platform_->printer().document_open());
}

TEST_F(FormDataTest, TheFileIsNamedByBlankInDecimal) {
  for (int16_t blank : {0, -3, 12, 7}) {
    SetUpForm(blank, 10, 10);
    WriteFile(dir_.File(DataFileName(blank)), EncodeDots({{1, 1, blank}}));
    Draw(0, 0, 10, 10);
    const auto dots = OpsOfType<PSet>(*platform_);
    ASSERT_EQ(dots.size(), 1u) << blank;
    EXPECT_EQ(dots[0].color, blank);
  }
  EXPECT_TRUE(dir_.Exists("KORDEL-3A.DAT"));
  EXPECT_TRUE(dir_.Exists("KORDEL0A.DAT"));
}

TEST_F(FormDataTest, AMissingFileRaisesDrawsNothingAndIsNotCreated) {
  for (int16_t blank : {1, 0, 8}) {
    SetUpForm(blank, 100, 100);
    try {
      Draw(0, 0, 100, 100);
      ADD_FAILURE() << "no error for a missing file";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.kind(), ErrorKind::kFileNotFound);
    }
    EXPECT_TRUE(platform_->OpsOf("Printer").empty()) << "not even the space";
    EXPECT_FALSE(platform_->printer().document_open());
    EXPECT_FALSE(dir_.Exists(DataFileName(blank)));
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(FormDataTest, ANameThatIsNotARegularFileCountsAsMissing) {
  SetUpForm(4, 100, 100);
  std::filesystem::create_directory(dir_.File("KORDEL4A.DAT"));
  EXPECT_THROW(Draw(0, 0, 100, 100), RuntimeError);
  std::filesystem::remove(dir_.File("KORDEL4A.DAT"));
#ifndef _WIN32  // a symbolic link to a device is for POSIX file systems
  std::filesystem::create_symlink("/dev/zero", dir_.File("KORDEL4A.DAT"));
  EXPECT_THROW(Draw(0, 0, 100, 100), RuntimeError);
#endif
  EXPECT_TRUE(platform_->OpsOf("Printer").empty());
}

TEST_F(FormDataTest, AnEmptyPicture1IsADivisionByZeroBeforeAnyOutput) {
  SetUpForm(1, 0, 0);
  WriteFile(dir_.File("KORDEL1A.DAT"), EncodeDots({{1, 1, 0}}));
  try {
    Draw(0, 0, 100, 100);
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kDivisionByZero);
  }
  EXPECT_TRUE(platform_->OpsOf("Printer").empty());
}

TEST_F(FormDataTest, APrinterThatFailsEndsTheRoutineWithItsError) {
  job_.PrintJob.Blank = 1;
  recording::PrinterSetup setup = TenPixelsPerMm();
  setup.available = false;
  platform_ = std::make_unique<recording::RecordingPlatform>(setup, dir_.path());
  form_ = std::make_unique<TolvForm>(job_, *platform_);
  form_->Picture1().SetScaleMode(kScalePixels);
  WriteFile(dir_.File("KORDEL1A.DAT"), EncodeDots({{1, 1, 0}}));
  EXPECT_THROW(Draw(0, 0, 100, 100), RuntimeError);
  EXPECT_TRUE(OpsOfType<PSet>(*platform_).empty());
}

// The sample form of each size, as the build writes it: every black pixel of the drawing is one
// dot. Prints the number of records and the time taken (a figure to read, not an assertion).
TEST_F(FormDataTest, TheSampleFormsGiveOneDotPerBlackPixel) {
  for (int16_t blank : {1, 6}) {
    const forms::Bitmap drawing = forms::DrawForm(blank);
    SetUpForm(blank, drawing.width(), drawing.height());
    WriteFile(dir_.File(DataFileName(blank)), forms::EncodeFormData(drawing));
    const auto start = std::chrono::steady_clock::now();
    Draw(100, 200, 3283, 2480);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto dots = OpsOfType<PSet>(*platform_);
    std::printf("KORDEL%dA.DAT: %zu records drawn in %.3f s on the recording printer\n", blank,
                dots.size(), seconds);
    EXPECT_EQ(static_cast<int64_t>(dots.size()), drawing.BlackCount());
    for (const PSet& dot : dots) {
      if (dot.x < 100 || dot.x > 100 + 3283 || dot.y < 200 || dot.y > 200 + 2480 || dot.color) {
        ADD_FAILURE() << "dot outside the form at " << dot.x << "," << dot.y;
        break;
      }
    }
  }
}

}  // namespace
}  // namespace tolv::testing
