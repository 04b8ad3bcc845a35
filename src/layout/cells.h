// Split rows: a row that carries two fields, written before and after its first bar "|". Every
// layout that prints split rows (the mini and maxi forms, the fixed grid) divides them with
// SplitRow and cleans each cell with FormatCell, always as a pair: the left cell with IsRightCell
// 0, the right cell with IsRightCell -1.
//
// Trimming removes the space character (code 32) only: tabs, non-breaking spaces and the NUL
// characters a row may end with are text like any other.
#ifndef TOLV_LAYOUT_CELLS_H_
#define TOLV_LAYOUT_CELLS_H_

#include <cstdint>
#include <string>

namespace tolv {

// The truth values callers pass as IsRightCell (any value but 0 counts as true).
inline constexpr int16_t kLeftCell = 0;
inline constexpr int16_t kRightCell = -1;

struct RowCells {
  bool HasLeft = false;  // the row holds a bar
  std::u32string left;   // before the first bar (empty without a bar)
  std::u32string right;  // after the first bar, further bars kept; the whole row without a bar
};

// Divides a row at its first bar. A row without a bar is all right cell.
RowCells SplitRow(const std::u32string& Row);

// The text printed for one cell. A left cell has every bar turned into a space and keeps its
// indentation; a right cell is trimmed, and when it still holds a bar, the trimmed texts before
// and after that first bar are joined by one space. Either result is finally right-trimmed, so it
// never ends with a space; a right cell that comes out blank is empty.
std::u32string FormatCell(const std::u32string& Cell, const int16_t& IsRightCell);

// Spaces (code 32 only) removed at both ends, and at the end only.
std::u32string TrimSpaces(const std::u32string& text);
std::u32string RightTrimSpaces(const std::u32string& text);

}  // namespace tolv

#endif  // TOLV_LAYOUT_CELLS_H_
