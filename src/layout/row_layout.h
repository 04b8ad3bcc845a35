// The row-by-row placement that the mini and maxi layouts share. Both forms lay out rows 0 to
// LastRowIndex the same way: header rows at fixed places (split rows through SplitRow and
// FormatCell, plain rows as one string), then rows of character boxes, one character a box, or a
// row too long for its boxes as one string from the first box. What differs between the forms is
// data (the geometry, which header row is split and how a plain one is trimmed); what differs
// between the picture and the printer variant is the variant.
//
// Every step (one position, one print) runs under skip-and-continue: a failing step is abandoned
// and the layout goes on with the next one.
#ifndef TOLV_LAYOUT_ROW_LAYOUT_H_
#define TOLV_LAYOUT_ROW_LAYOUT_H_

#include <array>
#include <string>

#include "form/tolv_form.h"
#include "layout/geometry.h"
#include "surface/drawing_surface.h"

namespace tolv {

enum class LayoutVariant {
  kPicture,  // on Picture2: rows as they are, spaces printed into their boxes
  kPrinter,  // on the printer: rows trimmed, blank boxes and blank rows left out
};

// How the printer variant treats a header row (the picture variant prints plain rows unchanged).
enum class HeaderRow {
  kSplit,              // a left and a right cell
  kTrimmed,            // trimmed at both ends, printed even when that leaves nothing
  kRightTrimmedIfAny,  // right-trimmed, and only when the row is not blank
};

// Where one copy of the form lies on the surface.
struct FormPlacement {
  double FormScaleX = 0;  // surface pixels per millimetre across
  double FormScaleY = 0;  // and down
  double origin_x = 0;    // the form's top-left corner in surface pixels
  double origin_y = 0;
};

struct LayoutTarget {
  DrawingSurface& surface;
  LayoutVariant variant;
  FormPlacement placement;
  // Told what each row printed where.
  RunTrace& trace;
};

// CurrentX, then CurrentY, to the point (x, y) millimetres of the form; each computed in double and
// handed over as single, each its own step.
void SetPosition(const LayoutTarget& target, double x, double y);

// A split row: nothing at the left place when the row has no bar.
void LayOutSplitRow(const LayoutTarget& target, const std::u32string& row, double left_x,
                    double right_x, double y);
// A plain header row at (x, y).
void LayOutPlainRow(const LayoutTarget& target, const std::u32string& row, double x, double y,
                    HeaderRow kind);
// Box row i.
void LayOutBoxRow(const LayoutTarget& target, const std::u32string& row,
                  const BoxRowGeometry& boxes, int i);

// Rows 0 to LastRowIndex of the form's job, header rows by `header`, the rest as box rows; the
// form's DoEvents after every row, also after one that prints nothing.
void LayOutRows(TolvForm& form, const LayoutTarget& target, const TextFormGeometry& geometry,
                const std::array<HeaderRow, 3>& header);

}  // namespace tolv

#endif  // TOLV_LAYOUT_ROW_LAYOUT_H_
