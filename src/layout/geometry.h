// Where the pre-printed fields of the text forms lie, in millimetres from the form's top-left
// corner (x to the right, y downwards). The layouts place the job's rows by these numbers, and the
// sample-form generator draws the boxes from the same ones, so the two cannot drift apart.
//
// Mini forms (Blank 1, 2, 7) are 139 x 105 mm; maxi forms (Blank 3 to 5) 139 x 141 mm, and the
// tall maxi form (Blank 6) 139 x 205.3 mm. Each has three header rows (0 to 2) and, from row 3 on,
// rows of character boxes.
#ifndef TOLV_LAYOUT_GEOMETRY_H_
#define TOLV_LAYOUT_GEOMETRY_H_

#include <cstdint>

#include "job/form_types.h"

namespace tolv {

// The mini forms.
inline constexpr double kMiniHeaderX = 9.5;      // row 0's left cell, rows 1 and 2
inline constexpr double kMiniRightCellX = 74.0;  // row 0's right cell
inline constexpr double kMiniRow0Y = 5.2;
inline constexpr double kMiniRow1Y = 10.8;
inline constexpr double kMiniRow2Y = 16.5;
inline constexpr double kMiniFirstBoxX = 5.3;
inline constexpr double kMiniBoxPitch = 5.05;
// Form type 7's boxes are printed a little wider apart than those of types 1 and 2.
inline constexpr double kMiniBlank7PitchCorrection = 0.02;
inline constexpr double kMiniFirstBoxRowY = 26.5;
inline constexpr double kMiniRowSpacing = 8.5;
inline constexpr int kMiniBoxesPerRow = 26;

// The maxi forms: smaller boxes, closer together, the same pitch for every type.
inline constexpr double kMaxiHeaderX = 11.5;     // rows 0 and 1's left cells, row 2
inline constexpr double kMaxiRightCellX = 72.0;  // rows 0 and 1's right cells
inline constexpr double kMaxiRow0Y = 5.6;
inline constexpr double kMaxiRow1Y = 12.1;
inline constexpr double kMaxiRow2Y = 18.4;
inline constexpr double kMaxiFirstBoxX = 4.6;
inline constexpr double kMaxiBoxPitch = 3.78;
inline constexpr double kMaxiFirstBoxRowY = 27.5;
inline constexpr double kMaxiRowSpacing = 6.35;
inline constexpr int kMaxiBoxesPerRow = 35;

// The first row of character boxes on every text form.
inline constexpr int kFirstBoxRow = 3;

// The rows of character boxes of one form type.
struct BoxRowGeometry {
  double first_box_x;  // left edge of box 1
  double box_pitch;    // from one box to the next
  double first_row_y;  // row 3
  double row_spacing;  // from one box row to the next
  int boxes_per_row;   // a longer row is printed as one string from first_box_x

  // Box j, counted from 1.
  double BoxX(int j) const { return first_box_x + (j - 1) * box_pitch; }
  // Row i, counted as the job counts its rows (the first box row is 3).
  double RowY(int i) const { return first_row_y + (i - kFirstBoxRow) * row_spacing; }
};

// One form type's text places.
struct TextFormGeometry {
  double width;  // the form's size
  double height;
  double header_x;      // left cells of split rows and the plain header rows
  double right_cell_x;  // right cells of split rows
  double header_y[3];   // rows 0, 1 and 2
  BoxRowGeometry boxes;
};

// A mini form's places; the box pitch depends on the form type.
TextFormGeometry MiniFormGeometry(int16_t Blank);
// A maxi form's places; the height depends on the form type.
TextFormGeometry MaxiFormGeometry(int16_t Blank);

}  // namespace tolv

#endif  // TOLV_LAYOUT_GEOMETRY_H_
