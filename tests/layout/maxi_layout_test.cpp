// The maxi form's layout on the printer (PrintMaxiTextEx) and on Picture2 (PrintMaxiText).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "layout/layout_rig.h"

namespace tolv {
namespace {

using ::testing::ElementsAre;
using testing::FormKind;
using testing::LayoutRig;

TEST(MaxiLayoutTest, PrinterVariantPlacesRowsInTheFormRectangle) {
  LayoutRig rig(3, 4);
  rig.job.Rows[0] = U"Smith|Sofia";
  rig.job.Rows[1] = U" Sofia | Centre ";
  rig.job.Rows[2] = U"  Street  ";
  rig.job.Rows[4] = U"A";
  rig.RunPrinter(FormKind::kMaxi);
  // Split rows in order: row 0 left, row 0 right, row 1 left, row 1 right.
  EXPECT_THAT(rig.Prints("Printer"),
              ElementsAre("115,56 'Smith'", "720,56 'Sofia'", "115,121 ' Sofia'",
                          "720,121 'Centre'", "115,184 '  Street'", "46,338.5 'A'"));
  EXPECT_EQ(rig.DoEventsCount(), 5);
}

TEST(MaxiLayoutTest, PrinterVariantKeepsTheCallersScaleMode) {
  LayoutRig rig(4, 3);
  rig.job.Rows[3] = U"A";
  rig.platform.printer().SetScaleMode(kScaleMillimetres);
  rig.platform.log().clear();
  rig.form.PrintMaxiTextEx(0, 0, 139, 141);
  // Positions are in the printer's unit of the moment, here millimetres.
  EXPECT_THAT(rig.Trace("Printer"),
              ::testing::Not(::testing::Contains(::testing::StartsWith("S"))));
  EXPECT_EQ(rig.platform.printer().ScaleMode(), kScaleMillimetres);
  EXPECT_EQ(rig.Prints("Printer").back(), "4.6,27.5 'A'");
}

TEST(MaxiLayoutTest, RowOneWithoutBarPrintsTrimmedAtTheRightPlace) {
  LayoutRig rig(5, 2);
  rig.job.Rows[1] = U"  Centre  ";
  rig.job.Rows[2] = U"   ";
  rig.RunPrinter(FormKind::kMaxi);
  EXPECT_THAT(rig.Prints("Printer"), ElementsAre("720,56 ''", "720,121 'Centre'"));
  // A blank row 2 gets its position and no print; the picture variant prints it as it is.
  const std::vector<std::string> trace = rig.Trace("Printer");
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[trace.size() - 2], "X115");
  EXPECT_EQ(trace.back(), "Y184");
  LayoutRig picture(5, 2);
  picture.job.Rows[2] = U"   ";
  picture.RunPicture(FormKind::kMaxi);
  EXPECT_EQ(picture.Prints("Picture2").back(), "115,184 '   '");
}

TEST(MaxiLayoutTest, TallFormTypeSixScalesByItsHeightAndLaysOutThirtyRows) {
  LayoutRig rig(6, 29);
  rig.job.Rows[12] = U"L";
  rig.job.Rows[29] = U"Z";
  rig.job.Rows[30] = U"never";
  rig.RunPrinter(FormKind::kMaxi);  // 2053 pixels for 205.3 mm
  EXPECT_EQ(rig.Prints("Printer").back(), "46,1926 'Z'");
  EXPECT_EQ(rig.Prints("Printer")[2], "46,846.5 'L'");
  EXPECT_EQ(rig.DoEventsCount(), 30);
}

TEST(MaxiLayoutTest, PictureVariantWorksInPixelsOfPicture2AndEndsInTwips) {
  LayoutRig rig(6, 29);
  rig.job.Rows[1] = U"a|b";
  rig.job.Rows[29] = U"Z";
  rig.RunPicture(FormKind::kMaxi);
  const std::vector<std::string> trace = rig.Trace("Picture2");
  EXPECT_EQ(trace.front(), "S3");
  EXPECT_EQ(trace.back(), "S1");
  EXPECT_THAT(rig.Prints("Picture2"),
              ElementsAre("720,56 ''", "115,121 'a'", "720,121 'b'", "115,184 ''", "46,1926 'Z'"));
  EXPECT_EQ(rig.form.Picture2().ScaleMode(), kScaleTwips);
}

}  // namespace
}  // namespace tolv
