// What the mini and maxi layouts do alike, run over both forms and both variants: the box rows,
// the long rows, the rows laid out and the failure handling.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

#include "layout/layout_rig.h"

namespace tolv {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using testing::FormKind;
using ::testing::IsEmpty;
using testing::LayoutRig;
using testing::Num;

// Each form's boxes at ten pixels per millimetre.
struct Form {
  FormKind kind;
  int16_t blank;
  int16_t last_row;
  int boxes;
  double first_x;
  double pitch;
  double row3_y;
  std::string row3(double x, const std::string& text) const {
    return Num(static_cast<float>(x)) + "," + Num(static_cast<float>(row3_y)) + " '" + text + "'";
  }
  std::string box(int j, const std::string& text) const {
    return row3(first_x + (j - 1) * pitch, text);
  }
};

const Form kForms[] = {
    {FormKind::kMini, 1, 10, 26, 53, 50.5, 265},
    {FormKind::kMaxi, 3, 12, 35, 46, 37.8, 275},
};

std::vector<std::string> RowThreePrints(const Form& form, bool printer, std::u32string row) {
  LayoutRig rig(form.blank, 3);
  rig.job.Rows[3] = std::move(row);
  rig.Run(form.kind, printer);
  const std::vector<std::string> prints = rig.Prints(testing::SurfaceOf(printer));
  // Only the prints of row 3 (the header rows print above y 200).
  std::vector<std::string> out;
  for (const std::string& p : prints) {
    if (p.find("," + Num(static_cast<float>(form.row3_y)) + " ") != std::string::npos) {
      out.push_back(p);
    }
  }
  return out;
}

TEST(BoxRowTest, AFullRowGoesIntoTheBoxesAndOneMoreCharacterMakesItOneString) {
  for (const Form& form : kForms) {
    for (bool printer : {true, false}) {
      const std::u32string full(form.boxes, U'W');
      const std::vector<std::string> boxes = RowThreePrints(form, printer, full);
      ASSERT_EQ(boxes.size(), static_cast<size_t>(form.boxes));
      EXPECT_EQ(boxes.front(), form.box(1, "W"));
      EXPECT_EQ(boxes.back(), form.box(form.boxes, "W"));
      const std::u32string longer = full + U"W";
      EXPECT_THAT(RowThreePrints(form, printer, longer),
                  ElementsAre(form.box(1, testing::Show(longer))));
    }
  }
  // The last boxes, spelled out: 131.55 mm on the mini form, 133.12 mm on the maxi form.
  EXPECT_EQ(kForms[0].box(26, "W"), "1315.5,265 'W'");
  EXPECT_EQ(kForms[1].box(35, "W"), "1331.2,275 'W'");
}

TEST(BoxRowTest, PrinterVariantLeavesSpacesOutAndPictureVariantPrintsThem) {
  for (const Form& form : kForms) {
    EXPECT_THAT(RowThreePrints(form, true, U"AB D"),
                ElementsAre(form.box(1, "A"), form.box(2, "B"), form.box(4, "D")));
    EXPECT_THAT(
        RowThreePrints(form, false, U"AB D"),
        ElementsAre(form.box(1, "A"), form.box(2, "B"), form.box(3, " "), form.box(4, "D")));
  }
  // The printer variant still moves to the space's box before it leaves it out.
  LayoutRig rig(1, 3);
  rig.job.Rows[3] = U"AB D";
  rig.RunPrinter(FormKind::kMini);
  const std::vector<std::string> trace = rig.Trace("Printer");
  EXPECT_EQ(std::vector<std::string>(trace.end() - 11, trace.end()),
            (std::vector<std::string>{"X53", "Y265", "'A'", "X103.5", "Y265", "'B'", "X154", "Y265",
                                      "X204.5", "Y265", "'D'"}));
}

TEST(BoxRowTest, NulCharactersAreCharactersThatFillBoxesAndCountTowardsTheLength) {
  for (const Form& form : kForms) {
    for (bool printer : {true, false}) {
      EXPECT_THAT(
          RowThreePrints(form, printer, U"BC\0\0"s),
          ElementsAre(form.box(1, "B"), form.box(2, "C"), form.box(3, "\\0"), form.box(4, "\\0")));
      // One letter short of full, two NULs make it one too long.
      const std::u32string row = std::u32string(form.boxes - 1, U'L') + U"\0\0"s;
      EXPECT_THAT(RowThreePrints(form, printer, row), ElementsAre(form.box(1, testing::Show(row))));
    }
  }
}

TEST(BoxRowTest, LongRowsAreTrimmedOnThePrinterOnlyAndNeverCut) {
  for (const Form& form : kForms) {
    const std::u32string text = U"A|" + std::u32string(form.boxes, U'x') + U"|B";
    const std::u32string padded = U"  " + text + U"  ";
    EXPECT_THAT(RowThreePrints(form, true, padded), ElementsAre(form.box(1, testing::Show(text))));
    EXPECT_THAT(RowThreePrints(form, false, padded),
                ElementsAre(form.box(1, testing::Show(padded))));
    // A blank long row: the printer prints nothing, the picture the spaces.
    const std::u32string blank(form.boxes + 1, U' ');
    EXPECT_THAT(RowThreePrints(form, true, blank), IsEmpty());
    EXPECT_THAT(RowThreePrints(form, false, blank), ElementsAre(form.box(1, testing::Show(blank))));
    // The longest row a job holds.
    const std::u32string longest = std::u32string(127, U'm') + U"|" + std::u32string(127, U'n');
    EXPECT_THAT(RowThreePrints(form, true, longest),
                ElementsAre(form.box(1, testing::Show(longest))));
  }
}

TEST(BoxRowTest, LongSplitRowsPrintWholeCells) {
  const std::u32string left(200, U'l');
  const std::u32string right(54, U'r');
  for (const Form& form : kForms) {
    LayoutRig rig(form.blank, 0);
    rig.job.Rows[0] = left + U"|" + right;
    rig.RunPrinter(form.kind);
    const std::vector<std::string> prints = rig.Prints("Printer");
    ASSERT_EQ(prints.size(), 2u);
    EXPECT_THAT(prints[0], ::testing::EndsWith("'" + testing::Show(left) + "'"));
    EXPECT_THAT(prints[1], ::testing::EndsWith("'" + testing::Show(right) + "'"));
  }
}

TEST(RowLoopTest, RowsAboveLastRowIndexAreNeverLaidOut) {
  for (const Form& form : kForms) {
    for (bool printer : {true, false}) {
      for (int16_t last : {int16_t{0}, form.last_row}) {
        LayoutRig rig(form.blank, last);
        for (int i = 0; i < 100; ++i) rig.job.Rows[i] = U"R|" + std::u32string(1, U'a' + i % 26);
        rig.Run(form.kind, printer);
        const std::vector<std::string> prints = rig.Prints(testing::SurfaceOf(printer));
        // Two cells for a split row; one string or two boxes (R|?) otherwise.
        const size_t split_rows = form.kind == FormKind::kMini ? 1 : 2;
        const size_t header_rows = std::min<size_t>(3, last + 1);
        const size_t expected =
            split_rows >= header_rows
                ? 2 * header_rows
                : 2 * split_rows + (header_rows - split_rows) + 3 * (last + 1 - header_rows);
        EXPECT_EQ(prints.size(), expected) << "last row " << last << (printer ? " printer" : "");
        EXPECT_EQ(rig.DoEventsCount(), last + 1);
      }
    }
  }
}

TEST(RowLoopTest, EveryRowYieldsEvenWhenItPrintsNothing) {
  for (const Form& form : kForms) {
    LayoutRig rig(form.blank, form.last_row);
    rig.RunPrinter(form.kind);
    EXPECT_EQ(rig.DoEventsCount(), form.last_row + 1);
    // The yield comes after the row: the log ends with one.
    EXPECT_TRUE(std::holds_alternative<recording::DoEvents>(rig.platform.log().back().op));
  }
}

TEST(RowLoopTest, APrinterThatFailsEveryCallStillLetsTheLayoutRunToItsEnd) {
  for (const Form& form : kForms) {
    recording::PrinterSetup setup;
    setup.available = false;
    JobState job;
    job.PrintJob.Blank = form.blank;
    job.PrintJob.LastRowIndex = form.last_row;
    for (int i = 0; i <= form.last_row; ++i) job.Rows[i] = U"A B|C";
    recording::RecordingPlatform platform(setup);
    TolvForm tolv_form(job, platform);
    if (form.kind == FormKind::kMini) {
      EXPECT_NO_THROW(tolv_form.PrintMiniTextEx(0, 0, 1390, 1050));
    } else {
      EXPECT_NO_THROW(tolv_form.PrintMaxiTextEx(0, 0, 1390, 1410));
    }
    std::vector<recording::Op> yields = platform.OpsOf("Platform");
    EXPECT_EQ(yields.size(), static_cast<size_t>(form.last_row + 1));
    EXPECT_TRUE(platform.OpsOf("Printer").empty());
  }
}

}  // namespace
}  // namespace tolv
