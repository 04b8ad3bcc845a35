// The mini form's layout on the printer (PrintMiniTextEx) and on Picture2 (PrintMiniText).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "layout/layout_rig.h"

namespace tolv {
namespace {

using ::testing::ElementsAre;
using testing::FormKind;
using ::testing::IsEmpty;
using testing::LayoutRig;

TEST(MiniLayoutTest, PrinterVariantPlacesRowsInTheFormRectangle) {
  LayoutRig rig(1, 3);
  rig.job.Rows[0] = U"Smith|Sofia|Centre";
  rig.job.Rows[1] = U"  Name  ";
  rig.job.Rows[2] = U"  Street 1  ";
  rig.job.Rows[3] = U"A";
  rig.RunPrinter(FormKind::kMini, 100, 50);
  EXPECT_THAT(rig.Prints("Printer"),
              ElementsAre("195,102 'Smith'", "840,102 'Sofia Centre'", "195,158 'Name'",
                          "195,215 '  Street 1'", "153,315 'A'"));
  // Pixel scale first, then for every print CurrentX, CurrentY, the text.
  EXPECT_THAT(rig.Trace("Printer"),
              ElementsAre("S3", "X195", "Y102", "'Smith'", "X840", "Y102", "'Sofia Centre'", "X195",
                          "Y158", "'Name'", "X195", "Y215", "'  Street 1'", "X153", "Y315", "'A'"));
}

TEST(MiniLayoutTest, PrinterVariantTrimsHeaderRowsAndPictureVariantKeepsThem) {
  struct Case {
    std::u32string row1, row2;
    std::vector<std::string> printer, picture;
  };
  const Case cases[] = {
      // Row 1 is printed even when trimming leaves nothing; row 2 only when it holds text.
      {U"", U"", {"95,108 ''"}, {"95,108 ''", "95,165 ''"}},
      {U"   ", U"   ", {"95,108 ''"}, {"95,108 '   '", "95,165 '   '"}},
      {U"  Name  ",
       U"  x  ",
       {"95,108 'Name'", "95,165 '  x'"},
       {"95,108 '  Name  '", "95,165 '  x  '"}},
  };
  for (const Case& c : cases) {
    for (bool printer : {true, false}) {
      LayoutRig rig(2, 2);
      rig.job.Rows[1] = c.row1;
      rig.job.Rows[2] = c.row2;
      rig.Run(FormKind::kMini, printer);
      std::vector<std::string> prints = rig.Prints(testing::SurfaceOf(printer));
      prints.erase(prints.begin());  // row 0's right cell
      EXPECT_EQ(prints, printer ? c.printer : c.picture) << testing::Show(c.row2);
    }
  }
  // The position of a blank row 2 is set all the same.
  LayoutRig rig(1, 2);
  rig.job.Rows[2] = U"  ";
  rig.RunPrinter(FormKind::kMini);
  const std::vector<std::string> trace = rig.Trace("Printer");
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[trace.size() - 2], "X95");
  EXPECT_EQ(trace.back(), "Y165");
}

TEST(MiniLayoutTest, RowZeroWithoutBarPrintsOnlyAtTheRightPlace) {
  LayoutRig rig(1, 0);
  rig.job.Rows[0] = U"  Smith  ";
  rig.RunPrinter(FormKind::kMini);
  EXPECT_THAT(rig.Prints("Printer"), ElementsAre("740,52 'Smith'"));
  // Both positions are set, the left one with nothing printed after it.
  EXPECT_THAT(rig.Trace("Printer"), ElementsAre("S3", "X95", "Y52", "X740", "Y52", "'Smith'"));
  EXPECT_EQ(rig.DoEventsCount(), 1);
}

TEST(MiniLayoutTest, BoxPitchIsWiderOnFormTypeSeven) {
  for (int16_t blank : {1, 2, 7}) {
    LayoutRig rig(blank, 11);
    rig.job.Rows[11] = U"XY";
    rig.RunPrinter(FormKind::kMini);
    const std::string second_box = blank == 7 ? "103.7,945 'Y'" : "103.5,945 'Y'";
    EXPECT_THAT(rig.Prints("Printer"),
                ElementsAre("740,52 ''", "95,108 ''", "53,945 'X'", second_box))
        << "Blank " << blank;
    EXPECT_EQ(rig.DoEventsCount(), 12);
  }
  // Box 26 of form type 7.
  LayoutRig rig(7, 3);
  rig.job.Rows[3] = std::u32string(25, U' ') + U"Z";
  rig.RunPrinter(FormKind::kMini);
  EXPECT_EQ(rig.Prints("Printer").back(), "1320.5,265 'Z'");
}

TEST(MiniLayoutTest, PictureVariantWorksInPixelsOfPicture2AndEndsInTwips) {
  LayoutRig rig(1, 10);
  rig.job.Rows[0] = U"A|B";
  rig.job.Rows[10] = U"Q";
  rig.form.Picture2().SetScaleMode(kScaleMillimetres);
  rig.RunPicture(FormKind::kMini);
  const std::vector<std::string> trace = rig.Trace("Picture2");
  EXPECT_EQ(trace.front(), "S3");
  EXPECT_EQ(trace.back(), "S1");
  EXPECT_THAT(rig.Prints("Picture2"),
              ElementsAre("95,52 'A'", "740,52 'B'", "95,108 ''", "95,165 ''", "53,860 'Q'"));
  EXPECT_EQ(rig.form.Picture2().ScaleMode(), kScaleTwips);
  EXPECT_THAT(rig.Prints("Printer"), IsEmpty());
}

}  // namespace
}  // namespace tolv
