// The Cairo platform: the destination is looked for only when the printer is first wanted, an
// open document is handed over at the end, and a failed hand-over gives status 2 with one line.
#include "platform/cairo/cairo_platform.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace tolv {
namespace {

class CountingDestination : public Destination {
 public:
  CountingDestination(std::vector<std::string>& documents, HandOverResult result)
      : documents_(documents), result_(std::move(result)) {}
  const PrinterDevice& Device() const override { return device_; }
  HandOverResult HandOver(const FinishedDocument& document) override {
    documents_.emplace_back(document.bytes);
    return result_;
  }

 private:
  PrinterDevice device_;  // A4 at 600 dpi
  std::vector<std::string>& documents_;
  HandOverResult result_;
};

class CairoPlatformTest : public testing::Test {
 protected:
  CairoPlatform MakePlatform(HandOverResult result = {}) {
    return CairoPlatform(
        "/opt/tolv",
        [this, result] {
          ++lookups_;
          return std::make_unique<CountingDestination>(documents_, result);
        },
        errors_);
  }

  int lookups_ = 0;
  std::vector<std::string> documents_;
  std::ostringstream errors_;
};

TEST_F(CairoPlatformTest, LooksForThePrinterOnlyWhenItIsFirstWanted) {
  CairoPlatform platform = MakePlatform();
  EXPECT_EQ(platform.ProgramDirectory(), "/opt/tolv");
  platform.DoEvents();
  EXPECT_EQ(lookups_, 0);
  EXPECT_EQ(platform.EndProgram(), 0);  // a run without a job never looks
  EXPECT_EQ(lookups_, 0);

  Printer& printer = platform.DefaultPrinter();
  EXPECT_EQ(&platform.DefaultPrinter(), &printer);
  EXPECT_EQ(lookups_, 1);
  printer.SetScaleMode(kScalePixels);
  EXPECT_FLOAT_EQ(printer.ScaleWidth(), 4961);
}

TEST_F(CairoPlatformTest, EndingHandsOverAnOpenDocumentOnceAndNothingWhenNothingWasOutput) {
  {
    CairoPlatform platform = MakePlatform();
    platform.DefaultPrinter().SetFontSize(12);
    platform.DefaultPrinter().TextWidth(U"measure only");
    EXPECT_EQ(platform.EndProgram(), 0);
    EXPECT_TRUE(documents_.empty());
  }
  CairoPlatform platform = MakePlatform();
  platform.DefaultPrinter().Print(U"left open, as the fixed grid leaves it");
  EXPECT_EQ(platform.EndProgram(), 0);
  ASSERT_EQ(documents_.size(), 1u);
  EXPECT_EQ(documents_[0].substr(0, 5), "%PDF-");
  EXPECT_EQ(errors_.str(), "");
}

TEST_F(CairoPlatformTest, FailedHandOverEndsWithStatus2AndOneLine) {
  CairoPlatform platform =
      MakePlatform({false, "the printer refused the job;\nkept /opt/tolv/ZOBAX.PDF"});
  platform.DefaultPrinter().PSet(10, 10, 0);
  platform.DefaultPrinter().EndDoc();
  EXPECT_EQ(platform.EndProgram(), 2);
  EXPECT_EQ(errors_.str(), "tolv: the printer refused the job; kept /opt/tolv/ZOBAX.PDF\n");
}

TEST_F(CairoPlatformTest, NoDestinationMeansNoPrinter) {
  CairoPlatform platform(
      "/opt/tolv", [] { return std::unique_ptr<Destination>(); }, errors_);
  EXPECT_THROW(platform.DefaultPrinter().SetScaleMode(3), RuntimeError);
  CairoPlatform raising(
      "/opt/tolv",
      []() -> std::unique_ptr<Destination> {
        throw RuntimeError(ErrorKind::kDeviceError, "no spooler");
      },
      errors_);
  EXPECT_THROW(raising.DefaultPrinter().Print(U"x"), RuntimeError);
  EXPECT_EQ(raising.EndProgram(), 0);
}

TEST_F(CairoPlatformTest, PictureBoxesMeasureTextAndMissingPicturesRaise) {
  CairoPlatform platform = MakePlatform();
  PictureBoxDesign design;
  design.name = "Picture2";
  design.width = 1395;
  design.height = 3075;
  design.font_name = U"Hebar";
  design.font_size = 36;
  std::unique_ptr<PictureBox> box = platform.CreatePictureBox(design);
  box->SetScaleMode(kScalePixels);
  EXPECT_FLOAT_EQ(box->ScaleWidth(), 93);
  EXPECT_GT(box->TextHeight(U"T"), 36 * 96 / 72.0);
  EXPECT_THROW(platform.LoadPicture("/opt/tolv/no/such/KORDEL1A.GFX"), RuntimeError);
}

}  // namespace
}  // namespace tolv
