// Output modes 0 and 1: the form's background picture and the job's rows are composed on Picture2
// first, and the finished picture goes to the printer, stretched to the form's size, once per copy.
// The page geometry (placement by the offsets, the cut line, the second copy or second page) is
// that of the direct drivers.
#include "form/tolv_form.h"
#include "platform/runtime.h"
#include "platform/scale.h"

namespace tolv {
namespace {

constexpr float kMiniFontPoints = 40.0f;
constexpr float kMaxiFontPoints = 34.0f;
constexpr int16_t kDotted = 2;
constexpr int16_t kSolid = 0;

// One copy of the form on the printer, in device pixels.
struct FormRect {
  float X = 0;
  float Y = 0;
  float W = 0;
  float H = 0;
};

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
  Step([&] { lay_out(); });
  Step([&] { picture2.SetPicture(picture2.Image()); });
  Step([&] { picture2.SetAutoRedraw(false); });
}

// The dotted cut line across the whole printable width at height y.
void DrawCutLine(Printer& p, long double y) {
  Step([&] { p.SetDrawStyle(kDotted); });
  Step([&] { p.Line(0, ToSingle(y), p.ScaleWidth(), ToSingle(y)); });
  Step([&] { p.SetDrawStyle(kSolid); });
}

}  // namespace

void TolvForm::ComposePageMini() {
  const JobState& j = job();
  Printer& p = printer();
  ComposePicture(*this, kMiniFontPoints, [&] { PrintMiniText(); });

  FormRect r;
  Step([&] { r.W = ToSingle(139.0L * j.PixelsPerMmX * j.Zoom); });
  Step([&] { r.H = ToSingle(105.0L * j.PixelsPerMmY * j.Zoom); });
  // The free space is reckoned for two copies and the gap between them: 2.25 form heights.
  Step([&] {
    r.X = ToSingle((static_cast<long double>(p.ScaleWidth()) - r.W) / 50 * j.PrintJob.OffsetX);
  });
  Step([&] {
    r.Y = ToSingle((static_cast<long double>(p.ScaleHeight()) - 2.25L * r.H) / 50 *
                   j.PrintJob.OffsetY);
  });

  Step([&] {
    const int32_t x = ToInt32(r.X), y = ToInt32(r.Y), w = ToInt32(r.W), h = ToInt32(r.H);
    TransferPicture(x, y, w, h);
  });
  // The cut line is drawn even when no second copy follows.
  DrawCutLine(p, r.Y + 1.075L * r.H);
  if (!j.PrintJob.CopyImagePath.empty()) {
    // The second copy's top is rounded straight from extended precision, as the direct driver
    // rounds it.
    Step([&] {
      const int32_t x = ToInt32(r.X), y = ToInt32(r.Y + 1.15L * r.H), w = ToInt32(r.W),
                    h = ToInt32(r.H);
      TransferPicture(x, y, w, h);
    });
  }
  Step([&] { p.EndDoc(); });
}

void TolvForm::ComposePageMaxi() {
  const JobState& j = job();
  Printer& p = printer();
  bool second_page = false;
  ComposePicture(*this, kMaxiFontPoints, [&] { PrintMaxiText(); });

  FormRect r;
  const long double form_mm_high = j.PrintJob.Blank == 6 ? 205.3L : 141.0L;
  Step([&] { r.W = ToSingle(139.0L * j.PixelsPerMmX * j.Zoom); });
  Step([&] { r.H = ToSingle(form_mm_high * j.PixelsPerMmY * j.Zoom); });
  Step([&] {
    r.X = ToSingle((static_cast<long double>(p.ScaleWidth()) - r.W) / 50 * j.PrintJob.OffsetX);
  });
  Step([&] {
    r.Y = ToSingle((static_cast<long double>(p.ScaleHeight()) - r.H) / 50 * j.PrintJob.OffsetY);
  });
  const bool second_copy = !j.PrintJob.CopyImagePath.empty();
  if (second_copy) {
    // Both copies must fit the printable height; exactly equal fits. A test that cannot be
    // evaluated sends the copy to a second page.
    if (Condition([&] { return ToSingle(2.0L * r.H) > p.ScaleHeight(); })) {
      second_page = true;
    } else {
      Step([&] {
        r.Y = ToSingle((static_cast<long double>(p.ScaleHeight()) - 2.0L * r.H) / 50 *
                       j.PrintJob.OffsetY);
      });
    }
  }

  auto transfer = [&] {
    Step([&] {
      const int32_t x = ToInt32(r.X), y = ToInt32(r.Y), w = ToInt32(r.W), h = ToInt32(r.H);
      TransferPicture(x, y, w, h);
    });
  };
  transfer();
  if (second_copy) {
    if (second_page) {
      // Same position on the next page.
      Step([&] { p.NewPage(); });
      trace().NewPage();
      trace().Note("copies",
                   "two pages: twice the form's height is more than the printable height");
    } else {
      DrawCutLine(p, static_cast<long double>(r.Y) + r.H);
      Step([&] { r.Y = ToSingle(r.Y + 1.01L * r.H); });
    }
    transfer();
  }
  Step([&] { p.EndDoc(); });
}

}  // namespace tolv
