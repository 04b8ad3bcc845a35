// The sheet every page driver prints, whichever way it draws a copy of the form: the form's size
// from its millimetres and the zoom, its placement by the offsets in the printable area, the
// two-copies test of the maxi forms, the dotted cut line, and the second copy below the first or on
// a second page. The direct drivers walk it drawing dots and text per copy, the composed drivers
// transferring their picture.
//
// Every step runs on its own, as the drivers' do: a failing step keeps its target as it was (W, H,
// X and Y start at 0) and the walk goes on. Products, quotients and sums are formed in extended
// precision; W, H, X and Y are kept as single-precision values.
#ifndef TOLV_DRIVERS_SHEET_H_
#define TOLV_DRIVERS_SHEET_H_

#include <functional>

#include "job/job.h"
#include "job/run_trace.h"
#include "surface/drawing_surface.h"

namespace tolv {

enum class FormSize { kMini, kMaxi };

// One copy of the form with its top-left corner at (X, Y), in device pixels. The second mini copy's
// top arrives straight from extended precision, unrounded.
using CopyStep = std::function<void(long double X, long double Y, float W, float H)>;

class Sheet {
 public:
  // Works the sheet out on the printer, step by step: W, H, X, Y, and for a maxi form with a second
  // copy whether both fit on one page.
  Sheet(const JobState& job, Printer& printer, FormSize size);

  // The mini forms' cut line is drawn only before a second copy, unless `always`: the composed
  // mini page draws it whether or not a second copy follows.
  enum class MiniCutLine { kBeforeSecondCopy, kAlways };

  // The copies and what lies between them: the first copy, then the cut line and the second copy
  // below it, or a new page and the second copy at the same place.
  void Walk(const CopyStep& copy, MiniCutLine mini_cut_line = MiniCutLine::kBeforeSecondCopy);

  // Whether a second copy goes on a page of its own.
  bool second_page() const { return second_page_; }

  float W = 0;
  float H = 0;
  float X = 0;
  float Y = 0;

 private:
  void DrawCutLine(long double y);

  Printer& printer_;
  FormSize size_;
  bool second_copy_;
  bool second_page_ = false;
};

// Tells the run's record how the copies share the sheet.
void NoteSheet(RunTrace& trace, const Sheet& sheet);

}  // namespace tolv

#endif  // TOLV_DRIVERS_SHEET_H_
