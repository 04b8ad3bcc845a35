// The Cairo printer, read back from the PDF it hands over: what its fonts measure and where its
// text lands (pdftotext -bbox), how it stores pictures and pages, how it hands the document over.
// Where its marks land, and the rules it shares with every printer, are the printer contract's.
#include "platform/cairo/cairo_printer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/runtime.h"
#include "support/pdf_readback.h"
#include "surface/printer_contract.h"

namespace tolv {
namespace {

using testing::PdfWord;
using testing::PdfWords;

// The printer contract's page: 2 x 1 inches at 600 dpi, the printable area 30 px from the left
// and 40 px from the top.
PrinterDevice SmallDevice() { return testing::ContractDevice(); }
constexpr int kLeft = 30;
constexpr int kTop = 40;

class CapturingDestination : public Destination {
 public:
  CapturingDestination(const PrinterDevice& device, std::vector<std::string>& documents,
                       HandOverResult result = {})
      : device_(device), documents_(documents), result_(std::move(result)) {}
  const PrinterDevice& Device() const override { return device_; }
  HandOverResult HandOver(const FinishedDocument& document) override {
    documents_.emplace_back(document.bytes);
    return result_;
  }

 private:
  PrinterDevice device_;
  std::vector<std::string>& documents_;
  HandOverResult result_;
};

int CountImages(const std::string& pdf) {
  int count = 0;
  for (size_t pos = pdf.find("/Subtype /Image"); pos != std::string::npos;
       pos = pdf.find("/Subtype /Image", pos + 1)) {
    ++count;
  }
  return count;
}

class CairoPrinterTest : public ::testing::Test {
 protected:
  CairoPrinterTest() : printer_(std::make_unique<CapturingDestination>(SmallDevice(), documents_)) {
    printer_.SetScaleMode(kScalePixels);
  }

  // Ends the document and returns the one PDF handed over.
  std::string Document() {
    printer_.EndDoc();
    EXPECT_EQ(documents_.size(), 1u);
    return documents_.empty() ? std::string() : documents_.back();
  }

  std::vector<std::string> documents_;
  CairoPrinter printer_;
};

// Arial's advance of "W" and its line height (ascent + descent + line gap) in ems, as its
// metric twin Liberation Sans has them.
constexpr double kArialWidthW = 1933.0 / 2048;
constexpr double kArialLineHeight = 2355.0 / 2048;

TEST_F(CairoPrinterTest, MeasuresInTheCurrentUnitFromUnhintedMetrics) {
  printer_.SetFontName(U"Arial");
  printer_.SetFontSize(10);
  const double em = 10 * 600 / 72.0;
  const float width_px = printer_.TextWidth(U"W");
  const float height_px = printer_.TextHeight(U"T");
  EXPECT_NEAR(width_px, kArialWidthW * em, 0.01);
  EXPECT_NEAR(height_px, kArialLineHeight * em, 0.01);

  printer_.SetScaleMode(kScaleMillimetres);
  EXPECT_NEAR(printer_.TextWidth(U"W"), width_px * 25.4 / 600, 1e-4);
  EXPECT_NEAR(printer_.TextHeight(U"T"), height_px * 25.4 / 600, 1e-4);
  printer_.SetScaleMode(kScaleTwips);
  EXPECT_NEAR(printer_.TextWidth(U"W"), width_px * 1440 / 600, 1e-2);

  // The line height does not depend on the string, not even on characters that Arial lacks
  // and a taller font supplies; widths add up.
  printer_.SetScaleMode(kScalePixels);
  EXPECT_FLOAT_EQ(printer_.TextHeight(U"."), height_px);
  EXPECT_FLOAT_EQ(printer_.TextHeight(U"\u0531\u10D0"), height_px);  // Armenian, Georgian
  EXPECT_NEAR(printer_.TextWidth(U"WWWW"), 4 * width_px, 0.01);
}

TEST(CairoPrinterResolutionTest, TextKeepsItsSizeOnAPrinterWithTwoResolutions) {
  std::vector<std::string> documents;
  PrinterDevice wide = SmallDevice();
  wide.dpi_x = 300;
  wide.printable_width_px = 570;
  CairoPrinter square(std::make_unique<CapturingDestination>(SmallDevice(), documents));
  CairoPrinter uneven(std::make_unique<CapturingDestination>(wide, documents));
  for (CairoPrinter* p : {&square, &uneven}) p->SetScaleMode(kScaleMillimetres);
  EXPECT_NEAR(uneven.TextWidth(U"Wide"), square.TextWidth(U"Wide"), 1e-4);
  EXPECT_FLOAT_EQ(uneven.TextHeight(U"Wide"), square.TextHeight(U"Wide"));
  uneven.SetScaleMode(kScalePixels);
  square.SetScaleMode(kScalePixels);
  EXPECT_NEAR(uneven.TextWidth(U"Wide"), square.TextWidth(U"Wide") / 2, 1e-3);

  uneven.SetCurrentX(100);
  uneven.Print(U"Wide");
  uneven.EndDoc();
  ASSERT_EQ(documents.size(), 1u);
  const std::vector<PdfWord> words = PdfWords(documents[0]);
  ASSERT_EQ(words.size(), 1u);
  // Read back at 600 dpi: 100 pixels of 300 dpi from the margin, and the width of 600 dpi text.
  EXPECT_NEAR(words[0].x_min, kLeft * 2 + 200, 1.5);
  EXPECT_NEAR(words[0].x_max - words[0].x_min, square.TextWidth(U"Wide"), 1.5);
}

TEST_F(CairoPrinterTest, NonIntegerSizesScaleLinearlyAndBoldIsWider) {
  printer_.SetFontName(U"Arial");
  printer_.SetFontSize(10);
  const float at10 = printer_.TextWidth(U"Zoom 1.13");
  printer_.SetFontSize(11.3f);
  EXPECT_NEAR(printer_.TextWidth(U"Zoom 1.13"), at10 * 1.13, 0.02);
  printer_.SetFontSize(8.5f);
  EXPECT_NEAR(printer_.TextWidth(U"Zoom 1.13"), at10 * 0.85, 0.02);
  printer_.SetFontBold(true);
  EXPECT_GT(printer_.TextWidth(U"Zoom 1.13"), at10 * 0.85 + 1);
}

TEST_F(CairoPrinterTest, FontNameEmptyKeepsTheFaceAndUnknownIsSubstituted) {
  EXPECT_EQ(printer_.FontName(), U"Arial");
  printer_.SetFontName(U"DejaVu Sans");
  printer_.SetFontName(U"");
  EXPECT_EQ(printer_.FontName(), U"DejaVu Sans");
  const float dejavu = printer_.TextWidth(U"W");
  printer_.SetFontName(U"No Such Face 4711");
  EXPECT_GT(printer_.TextWidth(U"W"), 0);
  printer_.SetFontName(U"Arial");
  EXPECT_NE(printer_.TextWidth(U"W"), dejavu);
  EXPECT_THROW(printer_.SetFontSize(0), RuntimeError);
  EXPECT_THROW(printer_.SetFontSize(1e6f), RuntimeError);
}

TEST_F(CairoPrinterTest, PrintPutsTheLinesTopLeftAtTheCurrentPosition) {
  printer_.SetFontName(U"Arial");
  printer_.SetFontSize(12);
  printer_.SetCurrentX(100);
  printer_.SetCurrentY(200);
  const float line = printer_.TextHeight(U"T");
  printer_.Print(U"Hxy");
  // Afterwards: the left edge, one line lower.
  EXPECT_EQ(printer_.CurrentX(), 0);
  EXPECT_FLOAT_EQ(printer_.CurrentY(), 200 + line);
  printer_.SetScaleMode(kScaleMillimetres);
  printer_.SetCurrentX(20);
  printer_.SetCurrentY(10);
  printer_.Print(U"Mm");

  const std::vector<PdfWord> words = PdfWords(Document());
  ASSERT_EQ(words.size(), 2u);
  // pdftotext boxes a word from its font's ascent to its descent: the logical line without the
  // gap.
  const double em = 12 * 600 / 72.0;
  EXPECT_EQ(words[0].text, "Hxy");
  EXPECT_NEAR(words[0].x_min, kLeft + 100, 1.5);
  EXPECT_NEAR(words[0].y_min, kTop + 200, 1.5);
  EXPECT_NEAR(words[0].y_max - words[0].y_min, (1854.0 + 434.0) / 2048 * em, 1.5);
  EXPECT_EQ(words[1].text, "Mm");
  EXPECT_NEAR(words[1].x_min, kLeft + 20 * 600 / 25.4, 1.5);
  EXPECT_NEAR(words[1].y_min, kTop + 10 * 600 / 25.4, 1.5);
}

TEST_F(CairoPrinterTest, ControlCharactersPrintAsBlanksAndNeverCutTheString) {
  printer_.SetFontName(U"Arial");
  printer_.SetFontSize(10);
  const std::u32string with_nul(
      U"AB\0CD\x7F"
      U"EF\x85GH",
      11);
  EXPECT_FLOAT_EQ(printer_.TextWidth(with_nul), printer_.TextWidth(U"AB CD EF GH"));
  EXPECT_FLOAT_EQ(printer_.TextWidth(std::u32string(U"\0", 1)), printer_.TextWidth(U" "));
  printer_.SetCurrentX(10);
  printer_.SetCurrentY(10);
  printer_.Print(with_nul);
  printer_.Print(U"line\nbreak\tand\x2028separator");

  const std::vector<PdfWord> words = PdfWords(Document());
  std::vector<std::string> texts;
  for (const PdfWord& w : words) texts.push_back(w.text);
  // The line separator is shown in the line, not obeyed; pdftotext leaves it out.
  EXPECT_EQ(texts, (std::vector<std::string>{"AB", "CD", "EF", "GH", "line", "break", "and",
                                             "separator"}));
  // All on one line each: the second print's words share one top.
  for (size_t i = 5; i < words.size(); ++i) EXPECT_NEAR(words[i].y_min, words[4].y_min, 0.5);
}

PicturePtr Quadrants() {
  // Red, green / blue, black.
  return std::make_shared<Picture>(
      2, 2, std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000});
}

TEST_F(CairoPrinterTest, TheSamePictureIsStoredOnceAcrossPaintsAndPages) {
  const PicturePtr picture = Quadrants();
  printer_.PaintPicture(picture, 0, 0, 100, 100);
  printer_.PaintPicture(picture, 200, 0, 300, 50);
  printer_.NewPage();
  printer_.PaintPicture(picture, 0, 0, 100, 100);
  EXPECT_EQ(CountImages(Document()), 1);

  // Another picture object with the same pixels (a band of the second copy, made afresh) is the
  // same image; one pixel different, or another size, is another.
  printer_.PaintPicture(picture, 0, 0, 100, 100);
  printer_.PaintPicture(Quadrants(), 0, 0, 100, 100);
  printer_.PaintPicture(Quadrants(), 100, 0, 100, 100);
  printer_.PaintPicture(
      std::make_shared<Picture>(
          2, 2, std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000001}),
      0, 200, 100, 100);
  printer_.PaintPicture(std::make_shared<Picture>(4, 1, Quadrants()->pixels()), 0, 400, 100, 100);
  printer_.EndDoc();
  ASSERT_EQ(documents_.size(), 2u);
  EXPECT_EQ(CountImages(documents_[1]), 3);
}

TEST_F(CairoPrinterTest, ZeroSizedPictureOpensTheDocumentAndDrawsNothing) {
  printer_.PaintPicture(Quadrants(), 10, 10, 0, 100);
  EXPECT_TRUE(printer_.document_open());
  EXPECT_THROW(printer_.PaintPicture(nullptr, 0, 0, 10, 10), RuntimeError);
  const std::string pdf = Document();
  EXPECT_EQ(CountImages(pdf), 0);
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
}

TEST_F(CairoPrinterTest, DocumentOpensAtTheFirstOutputOnlyAndEndsAtEndDoc) {
  printer_.SetFontSize(12);
  printer_.SetCurrentX(5);
  printer_.TextWidth(U"x");
  printer_.SetDrawStyle(2);
  printer_.EndDoc();  // nothing open: nothing handed over
  EXPECT_FALSE(printer_.document_open());
  EXPECT_TRUE(documents_.empty());

  printer_.Print(U"");  // an empty print is output
  EXPECT_TRUE(printer_.document_open());
  printer_.EndDoc();
  printer_.NewPage();  // a later output starts the next document, with its pages
  printer_.Print(U"page 2");
  EXPECT_TRUE(printer_.Finish().ok);
  EXPECT_FALSE(printer_.document_open());
  ASSERT_EQ(documents_.size(), 2u);
  EXPECT_EQ(printer_.documents_handed_over(), 2);
  EXPECT_TRUE(printer_.Finish().ok);  // nothing more to hand over
  EXPECT_EQ(documents_.size(), 2u);
}

TEST_F(CairoPrinterTest, PageHasTheDevicesSizeAndNewPageAddsOne) {
  printer_.Print(U"1");
  printer_.NewPage();
  printer_.Print(U"2");
  const std::string pdf = Document();
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 144 72 ]"), std::string::npos);
  EXPECT_NE(pdf.find("/Count 2"), std::string::npos);
}

TEST(CairoPrinterFailureTest, FailedHandOverIsReportedByFinish) {
  std::vector<std::string> documents;
  CairoPrinter printer(std::make_unique<CapturingDestination>(
      SmallDevice(), documents, HandOverResult{false, "queue rejected the job; kept ZOBAX.PDF"}));
  printer.PSet(1, 1, 0);
  const HandOverResult result = printer.Finish();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "queue rejected the job; kept ZOBAX.PDF");
  EXPECT_EQ(documents.size(), 1u);
}

TEST(CairoPrinterFailureTest, AnUnusableDeviceIsAFailureNotACrash) {
  std::vector<std::string> documents;
  PrinterDevice device = SmallDevice();
  device.dpi_x = 0;
  CairoPrinter printer(std::make_unique<CapturingDestination>(device, documents));
  EXPECT_THROW(printer.Print(U"x"), RuntimeError);
  EXPECT_FALSE(printer.Finish().ok);
  EXPECT_TRUE(documents.empty());
}

TEST_F(CairoPrinterTest, ScaleFollowsTheDeviceAndRefusesWildCoordinates) {
  EXPECT_FLOAT_EQ(printer_.ScaleWidth(), 1140);
  EXPECT_FLOAT_EQ(printer_.ScaleHeight(), 520);
  printer_.SetScaleMode(kScaleMillimetres);
  EXPECT_FLOAT_EQ(printer_.ScaleWidth(), static_cast<float>(1140 * 25.4 / 600));
  EXPECT_THROW(printer_.SetScaleMode(0), RuntimeError);
  printer_.SetScaleMode(kScalePixels);
  EXPECT_THROW(printer_.PSet(3e9f, 0, 0), RuntimeError);
  EXPECT_THROW(printer_.Line(0, 0, 1e8f, 0), RuntimeError);
  printer_.SetCurrentX(std::numeric_limits<float>::infinity());
  EXPECT_THROW(printer_.Print(U"x"), RuntimeError);
  EXPECT_FALSE(printer_.document_open());
  EXPECT_TRUE(printer_.Finish().ok);
}

}  // namespace
}  // namespace tolv
