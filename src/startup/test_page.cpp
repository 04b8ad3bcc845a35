#include "startup/test_page.h"

#include <string>

#include "drivers/sheet.h"
#include "job/code_page.h"
#include "job/form_types.h"
#include "job/job.h"
#include "layout/geometry.h"
#include "runtime/runtime.h"
#include "startup/form_type.h"
#include "surface/scale.h"

namespace tolv {
namespace {

constexpr int16_t kOffset = 25;  // centred, as a job's offsets 25 place the form
constexpr double kCrossMm = 5;
constexpr float kLabelPoints = 6;
// The label starts this far inside the first copy's outline, clear of its rulers.
constexpr double kLabelInsetMm = 8;
constexpr double kLabelLineMm = 3.5;

struct Rect {
  long double x, y, w, h;
};

class TestPage {
 public:
  TestPage(Printer& p, double px_per_mm_x, double px_per_mm_y)
      : p_(p), mx_(px_per_mm_x), my_(px_per_mm_y) {}

  // Lines of text inside the outline `r`, from its top-left corner.
  void Text(const Rect& r, const std::vector<std::string>& lines) {
    long double y = r.y + kLabelInsetMm * my_;
    for (const std::string& line : lines) {
      Step([&] {
        p_.SetCurrentX(ToSingle(r.x + kLabelInsetMm * mx_));
        p_.SetCurrentY(ToSingle(y));
        p_.Print(DecodeJobText(line));
      });
      y += kLabelLineMm * my_;
    }
  }

  void Form(const Rect& r) {
    const long double right = r.x + r.w, bottom = r.y + r.h;
    Line(r.x, r.y, right, r.y);
    Line(right, r.y, right, bottom);
    Line(right, bottom, r.x, bottom);
    Line(r.x, bottom, r.x, r.y);
    // Rulers: a tick every millimetre along each edge, longer every 5 and 10, numbered every 10
    // along the top and the left edge.
    const int across = static_cast<int>(r.w / mx_), down = static_cast<int>(r.h / my_);
    for (int mm = 0; mm <= across; ++mm) {
      const long double x = r.x + mm * mx_, tick = Tick(mm) * my_;
      Line(x, r.y, x, r.y + tick);
      Line(x, bottom, x, bottom - tick);
      if (mm % 10 == 0 && mm > 0) Label(x, r.y + tick, mm);
    }
    for (int mm = 0; mm <= down; ++mm) {
      const long double y = r.y + mm * my_, tick = Tick(mm) * mx_;
      Line(r.x, y, r.x + tick, y);
      Line(right, y, right - tick, y);
      if (mm % 10 == 0 && mm > 0) Label(r.x + tick, y, mm);
    }
    for (const auto& [cx, cy] :
         {std::pair{r.x, r.y}, {right, r.y}, {r.x, bottom}, {right, bottom}}) {
      Line(cx - kCrossMm * mx_, cy, cx + kCrossMm * mx_, cy);
      Line(cx, cy - kCrossMm * my_, cx, cy + kCrossMm * my_);
    }
  }

 private:
  static double Tick(int mm) { return mm % 10 == 0 ? 3 : mm % 5 == 0 ? 2 : 1; }
  void Line(long double x1, long double y1, long double x2, long double y2) {
    Step([&] { p_.Line(ToSingle(x1), ToSingle(y1), ToSingle(x2), ToSingle(y2)); });
  }
  void Label(long double x, long double y, int mm) {
    Step([&] {
      p_.SetCurrentX(ToSingle(x + 0.3L * mx_));
      p_.SetCurrentY(ToSingle(y));
      const std::string digits = std::to_string(mm);
      p_.Print(std::u32string(digits.begin(), digits.end()));
    });
  }

  Printer& p_;
  double mx_, my_;
};

}  // namespace

int MainTestPage(Platform& platform, int blank, const TestPageLabel& label) {
  JobState job;
  job.PrintJob.Blank = static_cast<int16_t>(blank);
  job.PrintJob.OffsetX = kOffset;
  job.PrintJob.OffsetY = kOffset;
  job.Zoom = 1;
  InitFormType(job, platform.ProgramDirectory());
  Printer& p = platform.DefaultPrinter();
  InitPrinterMetrics(job, p);
  Step([&] { p.SetScaleMode(kScalePixels); });
  Step([&] { p.SetFontName(U"DejaVu Sans"); });
  Step([&] { p.SetFontSize(kLabelPoints); });

  // Where the direct page drivers put the form and its second copy, as a job of it with offsets 25
  // (centred) at zoom 100: the same sheet, with its cut line or second page.
  TestPage page(p, job.PixelsPerMmX, job.PixelsPerMmY);
  Sheet sheet(job, p, IsMiniForm(blank) ? FormSize::kMini : FormSize::kMaxi);
  bool first = true;
  sheet.Walk([&](long double X, long double Y, float W, float H) {
    page.Form({X, Y, W, H});
    if (first && label) page.Text({X, Y, W, H}, label());
    first = false;
  });
  Step([&] { p.EndDoc(); });
  return platform.EndProgram();
}

}  // namespace tolv
