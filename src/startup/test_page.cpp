#include "startup/test_page.h"

#include <string>

#include "layout/geometry.h"
#include "platform/runtime.h"
#include "platform/scale.h"
#include "startup/form_type.h"
#include "startup/job.h"

namespace tolv {
namespace {

constexpr long double kOffset = 25;  // centred, as a job's offsets 25 place the form
constexpr long double kOffsetSteps = 50;
constexpr double kCrossMm = 5;
constexpr float kLabelPoints = 6;

struct Rect {
  long double x, y, w, h;
};

class TestPage {
 public:
  TestPage(Printer& p, double px_per_mm_x, double px_per_mm_y)
      : p_(p), mx_(px_per_mm_x), my_(px_per_mm_y) {}

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

int MainTestPage(Platform& platform, int blank) {
  JobState job;
  job.PrintJob.Blank = static_cast<int16_t>(blank);
  InitFormType(job, platform.ProgramDirectory());
  Printer& p = platform.DefaultPrinter();
  InitPrinterMetrics(job, p);
  Step([&] { p.SetScaleMode(kScalePixels); });
  Step([&] { p.SetFontName(U"DejaVu Sans"); });
  Step([&] { p.SetFontSize(kLabelPoints); });

  TestPage page(p, job.PixelsPerMmX, job.PixelsPerMmY);
  const bool mini = blank == 1 || blank == 2 || blank == 7;
  const bool second_copy = !job.PrintJob.CopyImagePath.empty();
  Rect r{0, 0, kFormWidthMm * job.PixelsPerMmX, FormHeightMm(blank) * job.PixelsPerMmY};
  // The placement of the direct page drivers: the mini pair reckoned 2.25 form heights high and
  // its second copy 1.15 heights lower; a large pair on one sheet when both fit, else the
  // second on a page of its own.
  Step([&] {
    long double sw = p.ScaleWidth(), sh = p.ScaleHeight();
    r.x = (sw - r.w) / kOffsetSteps * kOffset;
    const long double block = mini ? 2.25L * r.h : second_copy && 2 * r.h <= sh ? 2 * r.h : r.h;
    r.y = (sh - block) / kOffsetSteps * kOffset;
  });
  page.Form(r);
  if (second_copy) {
    Rect second = r;
    bool new_page = false;
    Step([&] { new_page = !mini && 2 * r.h > p.ScaleHeight(); });
    if (new_page) {
      Step([&] { p.NewPage(); });
    } else {
      second.y = r.y + (mini ? 1.15L : 1.01L) * r.h;
    }
    page.Form(second);
  }
  Step([&] { p.EndDoc(); });
  return platform.EndProgram();
}

}  // namespace tolv
