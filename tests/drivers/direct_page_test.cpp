// Output mode 2 page drivers on the recording printer: where each copy of the form goes, the cut
// line, the second page, the printer's font, and that every run ends its one document.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "drivers/driver_rig.h"
#include "runtime/runtime.h"
#include "startup/form_type.h"

namespace tolv::testing {
namespace {

std::string Num(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v));
  return buf;
}

std::string Utf8(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// The form data file has two dots: the picture's top-left corner (colour 1) and the pixel just
// past its bottom-right corner (colour 2), so each copy shows as the two corners of its rectangle.
constexpr int32_t kTopLeft = 1;
constexpr int32_t kBottomRight = 2;

class DirectPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    job_.PrintJob.PaperType = 2;
    job_.PrintJob.OffsetX = 25;
    job_.PrintJob.OffsetY = 25;
    job_.Zoom = 1.0;
    job_.FontFace = U"Courier";
  }

  // Start-up as the program does it, then the driver of the form type. The background picture is
  // as many pixels as the form has device pixels at zoom 1, so one picture pixel is one device
  // pixel.
  void Run(int16_t blank) {
    job_.PrintJob.Blank = blank;
    InitFormType(job_, dir_.path());
    platform_ = std::make_unique<recording::RecordingPlatform>(setup_, dir_.path());
    InitPrinterMetrics(job_, platform_->DefaultPrinter());
    const bool maxi = blank >= 3 && blank <= 6;
    const int16_t height = !maxi ? 1050 : blank == 6 ? 2053 : 1410;
    if (with_picture_) {
      platform_->AddPicture(job_.PrintJob.FormImagePath,
                            recording::SolidPicture(1390, height, 0xFFFFFFFF));
    }
    const int16_t far_x = with_picture_ ? 1390 : 2087;
    const int16_t far_y = with_picture_ ? height : 3040;
    if (with_data_file_) {
      WriteFile(dir_.File(DataFileName(blank)),
                EncodeDots({{0, 0, kTopLeft}, {far_x, far_y, kBottomRight}}));
    }
    platform_->log().clear();
    TolvForm form(job_, *platform_);
    maxi ? form.PrintPageDirectMaxi() : form.PrintPageDirectMini();
  }

  // The printer's output in order: "space", "dot x,y #colour", "text 'row' x,y", "style s",
  // "line x1,y1 x2,y2", "new page", "end". Empty prints (blank rows) are left out.
  std::vector<std::string> Output() const {
    std::vector<std::string> out;
    for (const recording::Op& op : platform_->OpsOf("Printer")) {
      if (const auto* p = std::get_if<recording::Print>(&op)) {
        if (p->text == U" ") {
          out.push_back("space");
        } else if (!p->text.empty()) {
          out.push_back("text '" + Utf8(p->text) + "' " + Num(p->x) + "," + Num(p->y));
        }
      } else if (const auto* d = std::get_if<recording::PSet>(&op)) {
        out.push_back("dot " + Num(d->x) + "," + Num(d->y) + " #" + std::to_string(d->color));
      } else if (const auto* s = std::get_if<recording::SetDrawStyle>(&op)) {
        out.push_back("style " + std::to_string(s->style));
      } else if (const auto* l = std::get_if<recording::Line>(&op)) {
        out.push_back("line " + Num(l->x1) + "," + Num(l->y1) + " " + Num(l->x2) + "," +
                      Num(l->y2) + (l->draw_style == 2 ? " dotted" : " solid"));
      } else if (std::holds_alternative<recording::NewPage>(op)) {
        out.push_back("new page");
      } else if (std::holds_alternative<recording::EndDoc>(op)) {
        out.push_back("end");
      }
    }
    return out;
  }

  ScratchDir dir_;
  JobState job_;
  recording::PrinterSetup setup_ = TenPixelsPerMm();
  bool with_picture_ = true;
  bool with_data_file_ = true;
  std::unique_ptr<recording::RecordingPlatform> platform_;
};

using Lines = std::vector<std::string>;

TEST_F(DirectPageTest, MiniPairIsCentredWithTheCutLineBetweenTheCopies) {
  // W 1390, H 1050: X = (2100 - W) / 2 = 355, Y = (2970 - 2.25 H) / 2 = 303.75, which the copy
  // gets as 304; the cut line at Y + 1.075 H, the second copy at Y + 1.15 H = 1511.25.
  job_.Rows[1] = U"HELLO";
  Run(1);
  EXPECT_EQ(Output(),
            (Lines{"space", "dot 355,304 #1", "dot 1745,1354 #2",
                   "text 'HELLO' 450,412",  // 9.5 mm, 10.8 mm into the form
                   "style 2", "line 0,1432.5 2100,1432.5 dotted", "style 0", "space",
                   "dot 355,1511 #1", "dot 1745,2561 #2", "text 'HELLO' 450,1619", "end"}));
  EXPECT_EQ(platform_->printer().documents_ended(), 1);
}

TEST_F(DirectPageTest, MiniWithZeroOffsetsStartsAtTheCorner) {
  job_.PrintJob.OffsetX = 0;
  job_.PrintJob.OffsetY = 0;
  Run(7);
  // 1.15 H = 1207.5 goes to the even neighbour.
  EXPECT_EQ(Output(), (Lines{"space", "dot 0,0 #1", "dot 1390,1050 #2", "style 2",
                             "line 0,1128.75 2100,1128.75 dotted", "style 0", "space",
                             "dot 0,1208 #1", "dot 1390,2258 #2", "end"}));
}

TEST_F(DirectPageTest, MiniSecondCopyIsRoundedStraightFromExtendedPrecision) {
  // Zoom 0.84: H = 882 and Y = 394.2 (394.200012 as single); Y + 1.15 H is 1408.5000122..., which
  // would round to 1408 had it been stored as single (1408.5) first.
  job_.Zoom = 0.84;
  job_.PrintJob.OffsetY = 20;
  Run(2);
  const Lines out = Output();
  ASSERT_EQ(out.size(), 10u);
  EXPECT_EQ(out[1], "dot 466,394 #1");
  EXPECT_EQ(out[7], "dot 466,1409 #1");
}

TEST_F(DirectPageTest, TallMaxiFormIsOneCopyOnOnePage) {
  // H = 205.3 mm: Y = (2970 - 2053) / 2 = 458.5, handed over as 458 (halves to even).
  Run(6);
  EXPECT_EQ(Output(), (Lines{"space", "dot 355,458 #1", "dot 1745,2511 #2", "end"}));
}

TEST_F(DirectPageTest, MaxiThatDoesNotFitTwiceGoesOnASecondPageAtTheSamePlace) {
  // Zoom 1.2: W 1668, H 1692; 2 H = 3384 > 2970.
  job_.Zoom = 1.2;
  job_.Rows[2] = U"ROW TWO";
  Run(5);
  EXPECT_EQ(Output(), (Lines{"space", "dot 216,639 #1", "dot 1884,2331 #2",
                             "text 'ROW TWO' 354,859.8", "new page", "space", "dot 216,639 #1",
                             "dot 1884,2331 #2", "text 'ROW TWO' 354,859.8", "end"}));
  EXPECT_EQ(platform_->printer().documents_ended(), 1);
}

TEST_F(DirectPageTest, MaxiTwiceExactlyAsHighAsThePrintableAreaFitsWithTheCutLine) {
  // 2820 device pixels high: 282 mm, so 2 H = 2 x 141 mm x 10 = ScaleHeight exactly.
  setup_ = TenPixelsPerMm(2820);
  Run(3);
  // Y = 0; the line along the first copy's bottom edge; the second copy at 1.01 H = 1424.1.
  EXPECT_EQ(Output(), (Lines{"space", "dot 355,0 #1", "dot 1745,1410 #2", "style 2",
                             "line 0,1410 2100,1410 dotted", "style 0", "space", "dot 355,1424 #1",
                             "dot 1745,2834 #2", "end"}));

  // One pixel less and the copy goes on a page of its own.
  setup_ = TenPixelsPerMm(2819);
  Run(3);
  const Lines out = Output();
  EXPECT_EQ(std::count(out.begin(), out.end(), "new page"), 1);
  EXPECT_EQ(std::count_if(out.begin(), out.end(),
                          [](const std::string& s) { return s.rfind("line", 0) == 0; }),
            0);
}

TEST_F(DirectPageTest, PrinterIsSetToPixelsAndTheJobsFontScaledByZoom) {
  for (double zoom : {0.8, 1.2}) {
    job_.Zoom = zoom;
    job_.Rows[1] = U"A";
    Run(1);
    const std::vector<recording::Op> ops = platform_->OpsOf("Printer");
    ASSERT_GE(ops.size(), 4u);
    const auto* mode = std::get_if<recording::SetScaleMode>(&ops[0]);
    const auto* bold = std::get_if<recording::SetFontBold>(&ops[1]);
    const auto* size = std::get_if<recording::SetFontSize>(&ops[2]);
    const auto* name = std::get_if<recording::SetFontName>(&ops[3]);
    ASSERT_TRUE(mode && bold && size && name);
    EXPECT_EQ(mode->mode, 3);
    EXPECT_TRUE(bold->bold);
    EXPECT_EQ(size->points, zoom < 1 ? 8.0f : 12.0f);
    EXPECT_EQ(name->name, U"Courier");
    for (const auto& print : OpsOfType<recording::Print>(*platform_)) {
      EXPECT_EQ(print.scale_mode, 3);
      EXPECT_EQ(print.font.size, zoom < 1 ? 8.0f : 12.0f);
      EXPECT_TRUE(print.font.bold);
      EXPECT_EQ(print.font.name, U"Courier");
    }
  }
}

TEST_F(DirectPageTest, APictureThatCannotBeLoadedLeavesPicture1AtItsDesignSize) {
  // Picture1 keeps 2087 x 3040 pixels; the data file's far dot is at that size.
  with_picture_ = false;
  Run(1);
  const Lines out = Output();
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out[1], "dot 355,304 #1");
  EXPECT_EQ(out[2], "dot 1745,1354 #2");
  EXPECT_EQ(out.back(), "end");
}

TEST_F(DirectPageTest, AMissingDataFileLeavesTheRowsTheLineAndTheEnd) {
  with_data_file_ = false;
  job_.Rows[1] = U"HELLO";
  Run(1);
  EXPECT_EQ(Output(), (Lines{"text 'HELLO' 450,412", "style 2", "line 0,1432.5 2100,1432.5 dotted",
                             "style 0", "text 'HELLO' 450,1619", "end"}));
  EXPECT_FALSE(dir_.Exists(DataFileName(1)));
}

TEST_F(DirectPageTest, ACopyWhoseRectangleDoesNotFitAnIntegerIsSkipped) {
  // Far below the page: Y is about 6.5e9 device pixels, beyond a 32-bit integer. Both copies are
  // skipped; the cut line (a single-precision position) is beyond any printer's range and fails
  // as it would on paper; the draw styles and the end are not skipped.
  setup_ = TenPixelsPerMm(1e7);
  job_.PrintJob.OffsetY = 32767;
  job_.Rows[1] = U"HELLO";
  Run(1);
  EXPECT_EQ(Output(), (Lines{"style 2", "style 0", "end"}));
}

TEST_F(DirectPageTest, WithoutAPrinterBothDriversReturnNormally) {
  setup_.available = false;
  for (int16_t blank : {1, 3, 6}) {
    Run(blank);  // no exception escapes
    EXPECT_TRUE(platform_->OpsOf("Printer").empty());
    EXPECT_EQ(platform_->printer().documents_ended(), 0);
  }
}

}  // namespace
}  // namespace tolv::testing
