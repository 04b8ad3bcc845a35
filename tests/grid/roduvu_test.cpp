#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "form/tolv_form.h"
#include "platform/recording/recording.h"
#include "startup/form_type.h"

namespace tolv {
namespace {

// A printer of exactly 10 device pixels per millimetre (254 dpi), A4 printable.
recording::PrinterSetup TenPixelsPerMm() {
  recording::PrinterSetup setup;
  setup.dpi_x = setup.dpi_y = 254;
  setup.width_px = 2100;
  setup.height_px = 2970;
  return setup;
}

struct Printed {
  std::u32string text;
  double x_mm;
  double y_mm;
  float points;
};

class RoduvuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    job_.PrintJob.PaperType = 3;
    job_.PrintJob.OffsetX = 25;
    job_.PrintJob.OffsetY = 25;
    job_.FontFace = U"Arial";
  }

  // Runs the grid for the form type and returns every print in millimetres from the printable
  // area's corner.
  std::vector<Printed> Run(int16_t blank) {
    job_.PrintJob.Blank = blank;
    InitFormType(job_, "/p");
    platform_ = std::make_unique<recording::RecordingPlatform>(setup_);
    InitPrinterMetrics(job_, platform_->DefaultPrinter());
    TolvForm form(job_, *platform_);
    form.PrintRoduvu();
    std::vector<Printed> prints;
    for (const recording::Op& op : platform_->OpsOf("Printer")) {
      if (const auto* p = std::get_if<recording::Print>(&op)) {
        EXPECT_EQ(p->scale_mode, 3);
        EXPECT_TRUE(p->font.bold);
        prints.push_back({p->text, p->x / 10.0, p->y / 10.0, p->font.size});
      }
    }
    return prints;
  }

  static const Printed* Find(const std::vector<Printed>& prints, const std::u32string& text,
                             int occurrence = 0) {
    for (const Printed& p : prints) {
      if (p.text == text && occurrence-- == 0) return &p;
    }
    return nullptr;
  }

  JobState job_;
  recording::PrinterSetup setup_ = TenPixelsPerMm();
  std::unique_ptr<recording::RecordingPlatform> platform_;
};

TEST_F(RoduvuTest, NeutralOffsetsPutTheGridAtItsOriginAndTheSecondCopyAPitchLower) {
  job_.Rows[3] = U"A";
  const auto prints = Run(3);
  ASSERT_EQ(prints.size(), 8u);  // rows 0 and 2 (right cells, empty), 1 (empty) and 3, twice
  const Printed* first = Find(prints, U"A", 0);
  const Printed* second = Find(prints, U"A", 1);
  ASSERT_TRUE(first && second);
  EXPECT_NEAR(first->x_mm, 14.0, 1e-4);
  EXPECT_NEAR(first->y_mm, 24.5, 1e-4);
  EXPECT_NEAR(second->y_mm, 24.5 + 140.8, 1e-4);
  EXPECT_EQ(first->points, 12);
}

TEST_F(RoduvuTest, OffsetsMoveTheGridByTheirUnits) {
  job_.Rows[3] = U"A";
  job_.PrintJob.OffsetX = 50;
  job_.PrintJob.OffsetY = 50;
  auto prints = Run(3);
  EXPECT_NEAR(Find(prints, U"A", 0)->x_mm, 28.0, 1e-4);
  EXPECT_NEAR(Find(prints, U"A", 0)->y_mm, 7.8 + 24.5, 1e-4);
  EXPECT_NEAR(Find(prints, U"A", 1)->y_mm, 148.6 + 24.5, 1e-4);

  job_.PrintJob.OffsetX = 0;
  job_.PrintJob.OffsetY = 0;
  prints = Run(3);
  EXPECT_NEAR(Find(prints, U"A", 0)->x_mm, 0.0, 1e-4);  // the first box at the left edge
  EXPECT_NEAR(Find(prints, U"A", 0)->y_mm, 24.5 - 7.8, 1e-4);
}

TEST_F(RoduvuTest, FormTypeOneShiftsTheGridEightMillimetresDown) {
  job_.Rows[1] = U"Name";
  auto prints = Run(1);
  EXPECT_NEAR(Find(prints, U"Name", 0)->y_mm, 8 + 11.9, 1e-4);
  EXPECT_NEAR(Find(prints, U"Name", 1)->y_mm, 110 + 11.9, 1e-4);
  job_.PrintJob.OffsetY = 50;
  prints = Run(1);
  EXPECT_NEAR(Find(prints, U"Name", 0)->y_mm, 15.8 + 11.9, 1e-4);
  EXPECT_NEAR(Find(prints, U"Name", 1)->y_mm, 117.8 + 11.9, 1e-4);
}

TEST_F(RoduvuTest, BoxRowsFillTheirBoxesUpToTheBoxCountAndLongerRowsAreOneString) {
  job_.Rows[3] = std::u32string(26, U'x');
  job_.Rows[4] = std::u32string(27, U'y');
  job_.Rows[5] = U"a c";
  auto prints = Run(1);
  int boxes = 0;
  for (const Printed& p : prints) boxes += p.text == U"x";
  EXPECT_EQ(boxes, 2 * 26);
  EXPECT_NEAR(Find(prints, U"x", 25)->x_mm, 113.5, 1e-4);
  const Printed* whole = Find(prints, std::u32string(27, U'y'));
  ASSERT_NE(whole, nullptr);
  EXPECT_NEAR(whole->x_mm, 14.0, 1e-4);
  EXPECT_EQ(whole->points, 12);
  // A space keeps its box, so the following character keeps its own.
  ASSERT_NE(Find(prints, U" "), nullptr);
  EXPECT_NEAR(Find(prints, U"c")->x_mm, 14 + 2 * 3.98, 1e-4);

  job_.Rows[3] = std::u32string(33, U'x');
  prints = Run(3);
  EXPECT_NEAR(Find(prints, U"x", 32)->x_mm, 141.36, 1e-4);
}

TEST_F(RoduvuTest, HeaderCellsStandWhereTheirFormTypePutsThem) {
  job_.Rows[0] = U"Smith|Sofia";
  job_.Rows[1] = U"a|b";
  job_.Rows[2] = U"North|Plant|7";
  auto prints = Run(2);
  EXPECT_NEAR(Find(prints, U"Smith")->x_mm, 26, 1e-4);
  EXPECT_NEAR(Find(prints, U"Smith")->y_mm, 7.8, 1e-4);
  EXPECT_NEAR(Find(prints, U"Sofia")->x_mm, 92, 1e-4);
  EXPECT_EQ(Find(prints, U"Sofia")->points, 10);
  EXPECT_NE(Find(prints, U"a|b"), nullptr);            // row 1 is never split
  EXPECT_NE(Find(prints, U"North|Plant|7"), nullptr);  // row 2 is one string up to form type 2

  prints = Run(4);
  EXPECT_NEAR(Find(prints, U"Sofia")->x_mm, 71, 1e-4);
  EXPECT_NEAR(Find(prints, U"North")->x_mm, 26, 1e-4);
  EXPECT_NEAR(Find(prints, U"North")->y_mm, 16.2, 1e-4);
  EXPECT_NEAR(Find(prints, U"Plant 7")->x_mm, 121, 1e-4);

  job_.Rows[0] = U"  Sofia  ";  // no bar: nothing at the left place, trimmed at the right
  prints = Run(4);
  EXPECT_NEAR(Find(prints, U"Sofia")->x_mm, 71, 1e-4);
}

TEST_F(RoduvuTest, RowsThatReachTheBottomAreDroppedPerCopyAndBoxesPastTheWidthLeftOut) {
  // Second copy of form type 6's pitch puts late rows near the bottom of a short page.
  setup_.height_px = 1800;  // 180 mm printable
  job_.Rows[3] = U"A";      // 24.5 mm / 165.3 mm: both fit
  job_.Rows[5] = U"B";      // 41.5 mm / 182.3 mm: only the first copy
  auto prints = Run(3);
  EXPECT_NE(Find(prints, U"A", 1), nullptr);
  EXPECT_NE(Find(prints, U"B", 0), nullptr);
  EXPECT_EQ(Find(prints, U"B", 1), nullptr);

  setup_ = TenPixelsPerMm();
  setup_.width_px = 1000;  // 100 mm: boxes from 14 mm on, each needing "W" (7 pt bold) to fit
  job_.Rows[3] = std::u32string(33, U'x');
  prints = Run(3);
  int boxes = 0;
  for (const Printed& p : prints) {
    if (p.text == U"x") {
      ++boxes;
      EXPECT_LT(p.x_mm * 10 + 12 * 0.6 * 254 / 72.0, 1000);
    }
  }
  EXPECT_GT(boxes, 0);
  EXPECT_LT(boxes, 2 * 33);
}

TEST_F(RoduvuTest, UnknownFormTypesPrintRowZeroTwiceAtTheSamePlace) {
  job_.Rows[0] = U"A|B";
  job_.Rows[1] = U"never";
  const auto prints = Run(9);
  ASSERT_EQ(prints.size(), 4u);
  EXPECT_EQ(prints[0].y_mm, prints[2].y_mm);
  EXPECT_EQ(Find(prints, U"never"), nullptr);
}

}  // namespace
}  // namespace tolv
