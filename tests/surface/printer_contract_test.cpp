// The printer contract's drawing and what every backend must show of it; the recording backend
// joins here, its device operations drawn by the rule each states.
#include "surface/printer_contract.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <variant>

#include "platform/recording/recording.h"
#include "runtime/runtime.h"

namespace tolv::testing {

PrinterDevice ContractDevice() {
  PrinterDevice d;
  d.dpi_x = 600;
  d.dpi_y = 600;
  d.page_width_pt = 144;
  d.page_height_pt = 72;
  d.printable_left_px = 30;
  d.printable_top_px = 40;
  d.printable_width_px = 1140;
  d.printable_height_px = 520;
  return d;
}

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr int32_t kRed = 0x0000FF;  // red in the lowest byte
constexpr int32_t kBlue = 0xFF0000;
constexpr int32_t kGreen = 0x00FF00;

PicturePtr Quadrants() {
  // Red, green / blue, black.
  return std::make_shared<Picture>(
      2, 2, std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000});
}

TEST_P(PrinterContractTest, MarksLandOnTheSameDevicePixels) {
  std::unique_ptr<ContractBackend> backend = GetParam().make(ContractDevice(), true);
  DocumentPrinter& p = backend->printer();
  p.SetScaleMode(kScalePixels);
  p.Line(100, 50, 500, 50);
  p.Line(500, 60, 100, 60);  // drawn backwards
  p.SetDrawStyle(2);
  p.Line(100, 150, 500, 150);
  p.Line(700, 100, 700, 400);
  p.SetDrawStyle(5);
  p.Line(100, 170, 500, 170);  // transparent
  p.SetDrawStyle(0);
  p.Line(800, 100, 800, 400);
  p.PSet(20, 20, kRed);
  p.PSet(20, 20, static_cast<int32_t>(0x7F000000 | kBlue));  // later wins, high byte ignored
  p.PSet(0, 0, 0);
  p.PSet(1139.4f, 518.6f, 0);  // rounds to the next pixel
  p.PSet(10.5f, 20, 0);        // halves to even: 10
  p.PSet(11.5f, 20, 0);        // 12
  p.PSet(-31, 5, 0);           // off the page: never seen
  p.PSet(900, 450, kRed);
  p.Line(890, 450, 910, 450);  // over the red dot
  p.PSet(905, 450, kGreen);    // over the line
  p.PaintPicture(Quadrants(), 100, 260, 200, 100);
  p.PaintPicture(Quadrants(), 500, 260, -100, 100);  // mirrored
  p.EndDoc();
  const ContractPage page = backend->ReadBack();
  ASSERT_EQ(page.width, 1140);
  ASSERT_EQ(page.height, 520);

  for (int x = 100; x <= 500; ++x) {
    ASSERT_EQ(page.At(x, 50), kBlack) << x;
    ASSERT_EQ(page.At(x, 49), kWhite) << x;
    ASSERT_EQ(page.At(x, 51), kWhite) << x;
    ASSERT_EQ(page.At(x, 60), kBlack) << x;
    // Dotted: 4 pixels on, 4 off, from the start to the end, one pixel thick.
    ASSERT_EQ(page.At(x, 150), (x - 100) % 8 < 4 ? kBlack : kWhite) << x;
    ASSERT_EQ(page.At(x, 151), kWhite) << x;
    ASSERT_EQ(page.At(x, 170), kWhite) << x;
  }
  EXPECT_EQ(page.At(99, 50), kWhite);
  EXPECT_EQ(page.At(501, 50), kWhite);
  for (int y = 100; y <= 400; ++y) {
    ASSERT_EQ(page.At(700, y), (y - 100) % 8 < 4 ? kBlack : kWhite) << y;
    ASSERT_EQ(page.At(699, y), kWhite) << y;
    ASSERT_EQ(page.At(800, y), kBlack) << y;
    ASSERT_EQ(page.At(801, y), kWhite) << y;
  }
  EXPECT_EQ(page.At(800, 99), kWhite);
  EXPECT_EQ(page.At(800, 401), kWhite);

  EXPECT_EQ(page.At(20, 20), 0x0000FFu);  // blue
  EXPECT_EQ(page.At(0, 0), kBlack);
  EXPECT_EQ(page.At(1139, 519), kBlack);
  EXPECT_EQ(page.At(10, 20), kBlack);
  EXPECT_EQ(page.At(11, 20), kWhite);
  EXPECT_EQ(page.At(12, 20), kBlack);
  EXPECT_EQ(page.At(900, 450), kBlack);
  EXPECT_EQ(page.At(905, 450), 0x00FF00u);

  EXPECT_EQ(page.At(100, 260), 0xFF0000u);
  EXPECT_EQ(page.At(199, 309), 0xFF0000u);
  EXPECT_EQ(page.At(200, 309), 0x00FF00u);
  EXPECT_EQ(page.At(299, 260), 0x00FF00u);
  EXPECT_EQ(page.At(199, 310), 0x0000FFu);
  EXPECT_EQ(page.At(299, 359), kBlack);
  EXPECT_EQ(page.At(99, 260), kWhite);
  EXPECT_EQ(page.At(300, 260), kWhite);
  EXPECT_EQ(page.At(100, 259), kWhite);
  EXPECT_EQ(page.At(100, 360), kWhite);
  EXPECT_EQ(page.At(499, 260), 0xFF0000u);
  EXPECT_EQ(page.At(400, 260), 0x00FF00u);
  EXPECT_EQ(page.At(500, 260), kWhite);
  EXPECT_EQ(page.At(399, 260), kWhite);
  EXPECT_EQ(page.pages, 1);
}

// More colours of dots than a backend marks colour by colour: each dot keeps its pixel and its
// colour (within a step of a channel: a page read back through PDF may round), and the pixels
// between dots keep what lay there before (here a line).
TEST_P(PrinterContractTest, DotsOfManyColoursKeepTheirPixelsAndWhatLiesBetween) {
  constexpr int kDots = 500;
  // 0x00BBGGRR, all different: red and green from the index, blue fixed.
  const auto colour = [](int i) { return (i & 0xFF) | (((i >> 8) * 60 + 10) << 8) | (200 << 16); };
  const auto near = [](uint32_t got, int32_t bgr) {
    const uint32_t want = ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
    for (int shift = 0; shift < 24; shift += 8) {
      if (std::abs(static_cast<int>((got >> shift) & 0xFF) -
                   static_cast<int>((want >> shift) & 0xFF)) > 2) {
        return false;
      }
    }
    return true;
  };
  std::unique_ptr<ContractBackend> backend = GetParam().make(ContractDevice(), true);
  DocumentPrinter& p = backend->printer();
  p.SetScaleMode(kScalePixels);
  for (int i = 0; i < kDots; ++i) p.PSet(10.0f + i, 200, colour(i));  // a row on white
  p.Line(0, 300, 1139, 300);
  for (int i = 0; i < kDots; ++i) p.PSet(10.0f + 2 * i, 300, colour(i));  // every other pixel
  p.EndDoc();
  const ContractPage page = backend->ReadBack();
  for (int i = 0; i < kDots; ++i) {
    ASSERT_TRUE(near(page.At(10 + i, 200), colour(i)))
        << i << " " << std::hex << page.At(10 + i, 200);
    ASSERT_TRUE(near(page.At(10 + 2 * i, 300), colour(i)))
        << i << " " << std::hex << page.At(10 + 2 * i, 300);
    ASSERT_EQ(page.At(11 + 2 * i, 300), kBlack) << i;
  }
  EXPECT_EQ(page.At(9, 200), kWhite);
  EXPECT_EQ(page.At(10 + kDots, 200), kWhite);
  EXPECT_EQ(page.At(10, 199), kWhite);
  EXPECT_EQ(page.At(10, 201), kWhite);
}

TEST_P(PrinterContractTest, TextLandsWithItsTopLeftCornerOnTheCurrentPosition) {
  std::unique_ptr<ContractBackend> backend = GetParam().make(ContractDevice(), true);
  DocumentPrinter& p = backend->printer();
  p.SetScaleMode(kScalePixels);
  p.SetFontName(U"Arial");
  p.SetFontSize(12);
  p.SetCurrentX(100);
  p.SetCurrentY(200);
  p.Print(U"Hxy");
  p.SetScaleMode(kScaleMillimetres);
  p.SetCurrentX(20);
  p.SetCurrentY(10);
  p.Print(std::u32string(U"M\0m", 3));  // a control character is a blank, never an end
  p.EndDoc();
  const ContractPage page = backend->ReadBack();
  ASSERT_EQ(page.texts.size(), 3u);
  EXPECT_EQ(page.texts[0].text, "Hxy");
  EXPECT_NEAR(page.texts[0].x, 100, 0.5);
  EXPECT_NEAR(page.texts[0].y, 200, 0.5);
  EXPECT_EQ(page.texts[1].text, "M");
  EXPECT_NEAR(page.texts[1].x, 20 * 600 / 25.4, 0.5);
  EXPECT_NEAR(page.texts[1].y, 10 * 600 / 25.4, 0.5);
  EXPECT_EQ(page.texts[2].text, "m");
}

// Each step of the drawing and the error it raises, if any.
struct ContractStep {
  const char* what;
  std::function<void(DocumentPrinter&)> step;
  std::optional<ErrorKind> raises;
};

TEST_P(PrinterContractTest, RangeRulesRaiseAtTheSameStepsAndDrawNothing) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<ContractStep> steps = {
      {"scale mode 0", [](DocumentPrinter& p) { p.SetScaleMode(0); }, ErrorKind::kInvalidArgument},
      {"pixels", [](DocumentPrinter& p) { p.SetScaleMode(kScalePixels); }, std::nullopt},
      {"font size 0", [](DocumentPrinter& p) { p.SetFontSize(0); }, ErrorKind::kInvalidArgument},
      {"font size 1e6", [](DocumentPrinter& p) { p.SetFontSize(1e6f); },
       ErrorKind::kInvalidArgument},
      {"font size NaN", [](DocumentPrinter& p) { p.SetFontSize(std::nanf("")); },
       ErrorKind::kInvalidArgument},
      {"draw style 7", [](DocumentPrinter& p) { p.SetDrawStyle(7); }, ErrorKind::kInvalidArgument},
      {"far dot", [](DocumentPrinter& p) { p.PSet(3e9f, 0, 0); }, ErrorKind::kOverflow},
      {"dot past the device's range", [](DocumentPrinter& p) { p.PSet(9e6f, 0, 0); },
       ErrorKind::kOverflow},
      {"far line", [](DocumentPrinter& p) { p.Line(0, 0, 1e8f, 0); }, ErrorKind::kOverflow},
      {"no picture", [](DocumentPrinter& p) { p.PaintPicture(nullptr, 0, 0, 10, 10); },
       ErrorKind::kInvalidArgument},
      {"far picture", [](DocumentPrinter& p) { p.PaintPicture(Quadrants(), 0, 0, 1e8f, 10); },
       ErrorKind::kOverflow},
      {"x at infinity", [inf](DocumentPrinter& p) { p.SetCurrentX(inf); }, std::nullopt},
      {"print there", [](DocumentPrinter& p) { p.Print(U"x"); }, ErrorKind::kOverflow},
      {"width there", [](DocumentPrinter& p) { p.TextWidth(U"x"); }, std::nullopt},
  };
  std::unique_ptr<ContractBackend> backend = GetParam().make(ContractDevice(), true);
  DocumentPrinter& p = backend->printer();
  for (const ContractStep& s : steps) {
    std::optional<ErrorKind> raised;
    try {
      s.step(p);
    } catch (const RuntimeError& e) {
      raised = e.kind();
    }
    EXPECT_EQ(raised, s.raises) << s.what;
  }
  // Nothing was drawn: no document was opened, and the state is as the good steps left it.
  EXPECT_FALSE(p.document_open());
  EXPECT_EQ(p.ScaleMode(), kScalePixels);
  EXPECT_EQ(p.FontSize(), kPrinterDefaultFontSize);
  EXPECT_EQ(p.DrawStyle(), 0);
  EXPECT_TRUE(p.Finish().ok);
  EXPECT_EQ(p.documents_ended(), 0);
}

TEST_P(PrinterContractTest, DocumentsOpenAtTheFirstOutputAndNewPageAddsAPage) {
  std::unique_ptr<ContractBackend> backend = GetParam().make(ContractDevice(), true);
  DocumentPrinter& p = backend->printer();
  p.SetScaleMode(kScalePixels);
  p.SetCurrentX(5);
  p.TextWidth(U"x");
  p.EndDoc();  // nothing open: nothing ended
  EXPECT_FALSE(p.document_open());
  EXPECT_EQ(p.documents_ended(), 0);

  p.PaintPicture(Quadrants(), 10, 10, 0, 100);  // a zero-sized picture is output
  EXPECT_TRUE(p.document_open());
  p.SetCurrentY(30);
  p.NewPage();  // back to the origin
  EXPECT_EQ(p.CurrentX(), 0);
  EXPECT_EQ(p.CurrentY(), 0);
  p.PSet(1, 1, 0);
  p.NewPage();  // a page ended by NewPage and then the document: no empty page after it
  EXPECT_TRUE(p.Finish().ok);
  EXPECT_FALSE(p.document_open());
  EXPECT_EQ(p.documents_ended(), 1);
  EXPECT_EQ(backend->ReadBack().pages, 2);
}

TEST_P(PrinterContractTest, WithoutAPrinterEveryMemberRaises) {
  std::unique_ptr<ContractBackend> backend = GetParam().make(ContractDevice(), false);
  DocumentPrinter& p = backend->printer();
  EXPECT_FALSE(p.available());
  EXPECT_THROW(p.SetScaleMode(3), RuntimeError);
  EXPECT_THROW(p.ScaleWidth(), RuntimeError);
  EXPECT_THROW(p.SetFontName(U"Arial"), RuntimeError);
  EXPECT_THROW(p.Print(U"x"), RuntimeError);
  EXPECT_THROW(p.TextHeight(U"x"), RuntimeError);
  EXPECT_THROW(p.PSet(0, 0, 0), RuntimeError);
  EXPECT_THROW(p.NewPage(), RuntimeError);
  EXPECT_THROW(p.EndDoc(), RuntimeError);
  EXPECT_TRUE(p.Finish().ok);
}

// ---------------------------------------------------------------------------------------------
// The recording backend: its device operations drawn by the rule each states.

// Whether a line's pixel `d` pixels from its start is marked in a draw style: dashes in units of
// 1/150 inch.
bool DashOn(int16_t style, int d, double dpi) {
  std::vector<int> units;
  switch (style) {
    case 1:
      units = {3, 1};
      break;
    case 2:
      units = {1, 1};
      break;
    case 3:
      units = {3, 1, 1, 1};
      break;
    case 4:
      units = {3, 1, 1, 1, 1, 1};
      break;
    default:
      return true;
  }
  const int unit = std::max(1, static_cast<int>(std::lround(dpi / 150)));
  int period = 0;
  for (int u : units) period += u * unit;
  int at = d % period;
  for (size_t i = 0; i < units.size(); ++i) {
    if (at < units[i] * unit) return i % 2 == 0;
    at -= units[i] * unit;
  }
  return false;
}

class RecordingContractBackend : public ContractBackend {
 public:
  RecordingContractBackend(const PrinterDevice& d, bool available)
      : printer_(Setup(d, available), log_), device_(d) {}
  DocumentPrinter& printer() override { return printer_; }

  ContractPage ReadBack() override {
    const auto& ops = printer_.device_ops();
    // The last document: from after the one before it to its end.
    size_t end = ops.size();
    while (end > 0 && !std::holds_alternative<recording::device::EndDocument>(ops[end - 1])) --end;
    size_t begin = end == 0 ? 0 : end - 1;
    while (begin > 0 && !std::holds_alternative<recording::device::EndDocument>(ops[begin - 1])) {
      --begin;
    }
    ContractPage page;
    page.width = static_cast<int>(device_.printable_width_px);
    page.height = static_cast<int>(device_.printable_height_px);
    page.pixels.assign(static_cast<size_t>(page.width) * page.height, kWhite);
    auto set = [&](int x, int y, uint32_t rgb) {
      if (x >= 0 && y >= 0 && x < page.width && y < page.height) {
        page.pixels[static_cast<size_t>(y) * page.width + x] = rgb;
      }
    };
    for (size_t i = begin; i < end; ++i) {
      const auto& op = ops[i];
      if (std::holds_alternative<recording::device::BeginPage>(op)) ++page.pages;
      if (page.pages != 1) continue;  // the first page is drawn
      if (const auto* t = std::get_if<recording::device::Text>(&op)) {
        std::string word;
        double x = t->x;
        // Words as a reader finds them: split at blanks, each at its advance.
        for (size_t k = 0; k <= t->text.size(); ++k) {
          if (k == t->text.size() || t->text[k] == U' ') {
            if (!word.empty()) page.texts.push_back({word, x, t->y});
            word.clear();
            x = t->x + (k + 1) * 0.6 * t->font.size * device_.dpi_x / 72.0;
          } else {
            word.push_back(static_cast<char>(t->text[k]));
          }
        }
      } else if (const auto* l = std::get_if<recording::device::Line>(&op)) {
        const int n = std::max(std::abs(l->x2 - l->x1), std::abs(l->y2 - l->y1));
        for (int d = 0; d <= n; ++d) {
          const int x = l->x1 + (l->x2 > l->x1 ? d : l->x2 < l->x1 ? -d : 0);
          const int y = l->y1 + (l->y2 > l->y1 ? d : l->y2 < l->y1 ? -d : 0);
          if (DashOn(l->style, d, device_.dpi_x)) set(x, y, kBlack);
        }
      } else if (const auto* dots = std::get_if<recording::device::Dots>(&op)) {
        const uint32_t rgb =
            (dots->rgb & 0xFF) << 16 | (dots->rgb & 0xFF00) | ((dots->rgb >> 16) & 0xFF);
        for (const DotPoint& d : dots->points) set(d.x, d.y, rgb);
      } else if (const auto* pic = std::get_if<recording::device::Picture>(&op)) {
        const DeviceRect& r = pic->rect;
        const Picture& picture = *pic->picture;
        for (int y = std::min(r.top, r.bottom); y < std::max(r.top, r.bottom); ++y) {
          for (int x = std::min(r.left, r.right); x < std::max(r.left, r.right); ++x) {
            // The picture pixel whose stretched square holds this pixel's centre.
            const int u = static_cast<int>(
                std::floor((x + 0.5 - r.left) / (r.right - r.left) * picture.width()));
            const int v = static_cast<int>(
                std::floor((y + 0.5 - r.top) / (r.bottom - r.top) * picture.height()));
            set(x, y, picture.pixels()[static_cast<size_t>(v) * picture.width() + u] & 0xFFFFFF);
          }
        }
      }
    }
    return page;
  }

 private:
  static recording::PrinterSetup Setup(const PrinterDevice& d, bool available) {
    recording::PrinterSetup setup;
    setup.available = available;
    setup.dpi_x = d.dpi_x;
    setup.dpi_y = d.dpi_y;
    setup.width_px = d.printable_width_px;
    setup.height_px = d.printable_height_px;
    return setup;
  }

  recording::Log log_;
  recording::RecordingPrinter printer_;
  PrinterDevice device_;
};

INSTANTIATE_TEST_SUITE_P(Recording, PrinterContractTest,
                         ::testing::Values(ContractBackendFactory{
                             "Recording",
                             [](const PrinterDevice& d, bool available) {
                               return std::make_unique<RecordingContractBackend>(d, available);
                             }}),
                         ContractBackendName);

}  // namespace
}  // namespace tolv::testing
