// Output mode 2: the page drawn straight on the printer. Each copy of the form is its background
// dots (DrawFormData) with the job's rows printed over them in the printer's own font; the mini
// forms put both copies on one sheet with a dotted cut line between them, the maxi forms do so when
// both fit and otherwise start a second page.
//
// Every step runs on its own: a failing step keeps its target as it was (W, H, X and Y start at 0)
// and the driver goes on, so the document is always ended. The geometry is formed in extended
// precision and kept in single-precision variables; the form rectangle reaches its callees rounded
// to whole device pixels.
#include <cstdint>

#include "form/tolv_form.h"
#include "layout/geometry.h"
#include "platform/runtime.h"
#include "platform/scale.h"

namespace tolv {
namespace {

constexpr int16_t kDrawSolid = 0;
constexpr int16_t kDrawDotted = 2;
// The placement offsets count fiftieths of the free space around the form block.
constexpr long double kOffsetSteps = 50;
constexpr long double kPointsPerZoom = 10;
// The mini block is reckoned 2.25 form heights high: two copies and the gap between them.
constexpr long double kMiniBlockHeights = 2.25L;
constexpr long double kMiniCutLineAt = 1.075L;
constexpr long double kMiniSecondCopyAt = 1.15L;
constexpr long double kMaxiSecondCopyAt = 1.01L;

enum class FormSize { kMini, kMaxi };

// The background picture into Picture1, only to learn its size in pixels: the dots are scaled
// from it. A picture that cannot be loaded leaves Picture1 as it was.
void LoadFormPicture(TolvForm& form) {
  Step([&] {
    const std::string& path = form.job().PrintJob.FormImagePath;
    Reporting(form.trace(), "form picture " + path,
              [&] { form.Picture1().SetPicture(form.platform().LoadPicture(path)); });
  });
  Step([&] { form.Picture1().SetScaleMode(kScalePixels); });
}

// The printer in device pixels, with the job's face in bold at 10 points a unit of zoom.
void SetUpPrinter(TolvForm& form) {
  Printer& p = form.printer();
  const JobState& j = form.job();
  Step([&] { p.SetScaleMode(kScalePixels); });
  Step([&] { p.SetFontBold(true); });
  Step([&] { p.SetFontSize(ToSingle(kPointsPerZoom * j.Zoom)); });
  Step([&] { p.SetFontName(j.FontFace); });
}

// One copy of the form with its top-left corner at (X, Y): the dots, then the rows. The rectangle
// is rounded for each call on its own, so a value that does not fit skips only that call.
void DrawCopy(TolvForm& form, FormSize size, long double X, long double Y, float W, float H) {
  Step([&] { form.trace().FormPlaced(form, ToInt32(X), ToInt32(Y), ToInt32(W), ToInt32(H)); });
  Step([&] {
    Reporting(form.trace(), "form data",
              [&] { form.DrawFormData(ToInt32(X), ToInt32(Y), ToInt32(W), ToInt32(H)); });
  });
  Step([&] {
    const int32_t x = ToInt32(X), y = ToInt32(Y), w = ToInt32(W), h = ToInt32(H);
    if (size == FormSize::kMini) {
      form.PrintMiniTextEx(x, y, w, h);
    } else {
      form.PrintMaxiTextEx(x, y, w, h);
    }
  });
}

// The dotted cut line across the whole printable width at y, then the solid style again.
void DrawCutLine(Printer& p, long double y) {
  Step([&] { p.SetDrawStyle(kDrawDotted); });
  Step([&] {
    const float at = ToSingle(y);
    p.Line(0, at, p.ScaleWidth(), at);
  });
  Step([&] { p.SetDrawStyle(kDrawSolid); });
}

// (free space) / 50 x offset, the placement of both drivers.
float Place(long double free_space, int16_t offset) {
  return ToSingle(free_space / kOffsetSteps * offset);
}

}  // namespace

void TolvForm::PrintPageDirectMini() {
  const JobState& j = job();
  Printer& p = printer();
  float W = 0, H = 0, X = 0, Y = 0;

  LoadFormPicture(*this);
  SetUpPrinter(*this);
  Step([&] { W = ToSingle(static_cast<long double>(kFormWidthMm) * j.PixelsPerMmX * j.Zoom); });
  Step(
      [&] { H = ToSingle(static_cast<long double>(kMiniFormHeightMm) * j.PixelsPerMmY * j.Zoom); });
  Step([&] { X = Place(p.ScaleWidth() - static_cast<long double>(W), j.PrintJob.OffsetX); });
  Step([&] { Y = Place(p.ScaleHeight() - kMiniBlockHeights * H, j.PrintJob.OffsetY); });

  DrawCopy(*this, FormSize::kMini, X, Y, W, H);
  if (!j.PrintJob.CopyImagePath.empty()) {
    DrawCutLine(p, Y + kMiniCutLineAt * H);
    // The second copy's top is rounded straight from extended precision; Y itself stays.
    DrawCopy(*this, FormSize::kMini, X, Y + kMiniSecondCopyAt * H, W, H);
  }
  Step([&] { p.EndDoc(); });
}

void TolvForm::PrintPageDirectMaxi() {
  const JobState& j = job();
  Printer& p = printer();
  const bool second_copy = !j.PrintJob.CopyImagePath.empty();
  bool second_page = false;
  float W = 0, H = 0, X = 0, Y = 0;

  LoadFormPicture(*this);
  SetUpPrinter(*this);
  const double height_mm = j.PrintJob.Blank == 6 ? kTallMaxiFormHeightMm : kMaxiFormHeightMm;
  Step([&] { W = ToSingle(static_cast<long double>(kFormWidthMm) * j.PixelsPerMmX * j.Zoom); });
  Step([&] { H = ToSingle(static_cast<long double>(height_mm) * j.PixelsPerMmY * j.Zoom); });
  Step([&] { X = Place(p.ScaleWidth() - static_cast<long double>(W), j.PrintJob.OffsetX); });
  Step([&] { Y = Place(p.ScaleHeight() - static_cast<long double>(H), j.PrintJob.OffsetY); });

  if (second_copy) {
    // Two copies fit when 2 H is no more than the printable height, an equal height included. A
    // test that cannot be made (no printable height) sends the copy to a second page.
    if (Condition([&] { return ToSingle(2.0L * H) > p.ScaleHeight(); })) {
      second_page = true;
    } else {
      Step([&] { Y = Place(p.ScaleHeight() - 2.0L * H, j.PrintJob.OffsetY); });
    }
  }

  DrawCopy(*this, FormSize::kMaxi, X, Y, W, H);
  if (second_copy) {
    if (second_page) {
      // Y stays: the copy stands on the second page where the first stands on the first.
      Step([&] { p.NewPage(); });
      trace().NewPage();
      trace().Note("copies",
                   "two pages: twice the form's height is more than the printable height");
    } else {
      DrawCutLine(p, static_cast<long double>(Y) + H);
      Step([&] { Y = ToSingle(Y + kMaxiSecondCopyAt * H); });
    }
    DrawCopy(*this, FormSize::kMaxi, X, Y, W, H);
  }
  Step([&] { p.EndDoc(); });
}

}  // namespace tolv
