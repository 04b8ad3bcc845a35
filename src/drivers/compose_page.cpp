// Output modes 0 and 1: the form's background picture and the job's rows are composed on Picture2
// first, and the finished picture goes to the printer, stretched to the form's size, once per copy.
// The sheet (placement by the offsets, the cut line, the second copy or second page) is that of the
// direct drivers, drivers/sheet.h.
#include "drivers/sheet.h"
#include "form/tolv_form.h"
#include "runtime/runtime.h"
#include "surface/scale.h"

namespace tolv {
namespace {

constexpr float kMiniFontPoints = 40.0f;
constexpr float kMaxiFontPoints = 34.0f;

// The background picture into Picture1, copied into Picture2's persistent image at Picture1's
// size, the rows laid over it, and the result frozen into Picture2's picture. Every step is
// skipped on its own when it fails: a background that cannot be loaded leaves Picture1 as it was,
// and the page is composed from that.
template <class LayOut>
void ComposePicture(TolvForm& form, float font_points, LayOut lay_out) {
  PictureBox& picture1 = form.Picture1();
  PictureBox& picture2 = form.Picture2();
  const JobState& job = form.job();
  Step([&] { picture2.SetFontName(job.FontFace); });
  Step([&] { picture2.SetFontSize(font_points); });
  Step([&] { picture2.SetFontBold(true); });
  Step([&] { form.printer().SetScaleMode(kScalePixels); });
  Step([&] {
    Reporting(form.trace(), "form picture " + job.PrintJob.FormImagePath, [&] {
      picture1.SetPicture(form.platform().LoadPicture(job.PrintJob.FormImagePath));
    });
  });
  Step([&] { picture2.SetWidth(picture1.Width()); });
  Step([&] { picture2.SetHeight(picture1.Height()); });
  Step([&] { picture2.SetAutoRedraw(true); });
  Step([&] { picture1.PrintContentInto(picture2); });
  // The background is in Picture2 now: its own memory goes before the page is made (Picture1
  // keeps its size, and is only the bands' box from here on).
  Step([&] { picture1.SetPicture(nullptr); });
  Step([&] { lay_out(); });
  Step([&] { picture2.SetPicture(picture2.Image()); });
  Step([&] { picture2.SetAutoRedraw(false); });
}

// The composed page: the picture composed, then the sheet walked with one transfer of it per copy.
// The mini page's cut line is drawn even when no second copy follows.
template <class LayOut>
void ComposePage(TolvForm& form, FormSize size, float font_points, LayOut lay_out) {
  ComposePicture(form, font_points, lay_out);
  Sheet sheet(form.job(), form.printer(), size);
  NoteSheet(form.trace(), sheet);
  int copies = 0;
  sheet.Walk(
      [&](long double X, long double Y, float W, float H) {
        if (copies++ == 1 && sheet.second_page()) form.trace().NewPage();
        Step([&] {
          const int32_t x = ToInt32(X), y = ToInt32(Y), w = ToInt32(W), h = ToInt32(H);
          form.TransferPicture(x, y, w, h);
        });
      },
      Sheet::MiniCutLine::kAlways);
  // The composed picture is on the page: its memory goes before the document is finished.
  Step([&] { form.Picture2().SetPicture(nullptr); });
  Step([&] { form.printer().EndDoc(); });
}

}  // namespace

void TolvForm::ComposePageMini() {
  ComposePage(*this, FormSize::kMini, kMiniFontPoints, [this] { PrintMiniText(); });
}

void TolvForm::ComposePageMaxi() {
  ComposePage(*this, FormSize::kMaxi, kMaxiFontPoints, [this] { PrintMaxiText(); });
}

}  // namespace tolv
