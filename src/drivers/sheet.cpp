#include "drivers/sheet.h"

#include <cstdint>

#include "layout/geometry.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

constexpr int16_t kDrawSolid = 0;
constexpr int16_t kDrawDotted = 2;
// The placement offsets count fiftieths of the free space around the form block.
constexpr long double kOffsetSteps = 50;
// The mini block is reckoned 2.25 form heights high: two copies and the gap between them. The cut
// line runs in the middle of that gap.
constexpr long double kMiniBlockHeights = 2.25L;
constexpr long double kMiniCutLineAt = 1.075L;
constexpr long double kMiniSecondCopyAt = 1.15L;
constexpr long double kMaxiSecondCopyAt = 1.01L;

// (free space) / 50 x offset.
float Place(long double free_space, int16_t offset) {
  return ToSingle(free_space / kOffsetSteps * offset);
}

}  // namespace

Sheet::Sheet(const JobState& j, Printer& p, FormSize size)
    : printer_(p), size_(size), second_copy_(!j.PrintJob.CopyImagePath.empty()) {
  double height_mm = kMiniFormHeightMm;
  if (size == FormSize::kMaxi) {
    height_mm = FormHeightMm(j.PrintJob.Blank);
  }
  Step([&] { W = ToSingle(static_cast<long double>(kFormWidthMm) * j.PixelsPerMmX * j.Zoom); });
  Step([&] { H = ToSingle(static_cast<long double>(height_mm) * j.PixelsPerMmY * j.Zoom); });
  Step([&] { X = Place(p.ScaleWidth() - static_cast<long double>(W), j.PrintJob.OffsetX); });
  if (size == FormSize::kMini) {
    Step([&] { Y = Place(p.ScaleHeight() - kMiniBlockHeights * H, j.PrintJob.OffsetY); });
    return;
  }
  Step([&] { Y = Place(p.ScaleHeight() - static_cast<long double>(H), j.PrintJob.OffsetY); });
  if (second_copy_) {
    // Two copies fit when 2 H is no more than the printable height, an equal height included. A
    // test that cannot be made (no printable height) sends the copy to a second page.
    if (Condition([&] { return ToSingle(2.0L * H) > p.ScaleHeight(); })) {
      second_page_ = true;
    } else {
      Step([&] { Y = Place(p.ScaleHeight() - 2.0L * H, j.PrintJob.OffsetY); });
    }
  }
}

void Sheet::Walk(const CopyStep& copy, MiniCutLine mini_cut_line) {
  copy(X, Y, W, H);
  if (size_ == FormSize::kMini) {
    if (second_copy_ || mini_cut_line == MiniCutLine::kAlways) DrawCutLine(Y + kMiniCutLineAt * H);
    // The second copy's top is rounded straight from extended precision; Y itself stays.
    if (second_copy_) copy(X, Y + kMiniSecondCopyAt * H, W, H);
    return;
  }
  if (!second_copy_) return;
  if (second_page_) {
    // Y stays: the copy stands on the second page where the first stands on the first.
    Step([&] { printer_.NewPage(); });
  } else {
    DrawCutLine(static_cast<long double>(Y) + H);
    Step([&] { Y = ToSingle(Y + kMaxiSecondCopyAt * H); });
  }
  copy(X, Y, W, H);
}

// The dotted cut line across the whole printable width at y, then the solid style again.
void Sheet::DrawCutLine(long double y) {
  Step([&] { printer_.SetDrawStyle(kDrawDotted); });
  Step([&] {
    const float at = ToSingle(y);
    printer_.Line(0, at, printer_.ScaleWidth(), at);
  });
  Step([&] { printer_.SetDrawStyle(kDrawSolid); });
}

void NoteSheet(RunTrace& trace, const Sheet& sheet) {
  if (sheet.second_page()) {
    trace.Note("copies", "two pages: twice the form's height is more than the printable height");
  }
}

}  // namespace tolv
