// Output mode 2: the page drawn straight on the printer. Each copy of the form is its background
// dots (DrawFormData) with the job's rows printed over them in the printer's own font; the mini
// forms put both copies on one sheet with a dotted cut line between them, the maxi forms do so when
// both fit and otherwise start a second page.
//
// Every step runs on its own: a failing step keeps its target as it was and the driver goes on, so
// the document is always ended. The sheet (drivers/sheet.h) is the composed drivers' too; the form
// rectangle reaches the callees here rounded to whole device pixels.
#include <cstdint>

#include "drivers/sheet.h"
#include "form/tolv_form.h"
#include "runtime/runtime.h"
#include "surface/pixel_picture_box.h"
#include "surface/scale.h"

namespace tolv {
namespace {

constexpr long double kPointsPerZoom = 10;

// The background picture's size into Picture1, as setting the picture into it would size it:
// the dots are scaled from it. Nothing else of the picture is needed, so only its header is read.
// A picture whose size cannot be read leaves Picture1 as it was.
void SizeFormPicture(TolvForm& form) {
  Step([&] {
    const std::string& path = form.job().PrintJob.FormImagePath;
    Reporting(form.trace(), "form picture " + path, [&] {
      const PixelSize size = form.platform().PictureSize(path);
      PictureBox& box = form.Picture1();
      box.SetWidth(ToSingle(static_cast<long double>(kTwipsPerPixel) * size.width));
      box.SetHeight(ToSingle(static_cast<long double>(kTwipsPerPixel) * size.height));
    });
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

// The direct page: the printer set up, the sheet walked with the dots and rows as each copy.
void PrintPageDirect(TolvForm& form, FormSize size) {
  SizeFormPicture(form);
  SetUpPrinter(form);
  Sheet sheet(form.job(), form.printer(), size);
  NoteSheet(form.trace(), sheet);
  int copies = 0;
  sheet.Walk([&](long double X, long double Y, float W, float H) {
    if (copies++ == 1 && sheet.second_page()) form.trace().NewPage();
    DrawCopy(form, size, X, Y, W, H);
  });
  Step([&] { form.printer().EndDoc(); });
}

}  // namespace

void TolvForm::PrintPageDirectMini() { PrintPageDirect(*this, FormSize::kMini); }

void TolvForm::PrintPageDirectMaxi() { PrintPageDirect(*this, FormSize::kMaxi); }

}  // namespace tolv
