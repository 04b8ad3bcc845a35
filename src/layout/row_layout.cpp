#include "layout/row_layout.h"

#include <algorithm>

#include "job/job.h"
#include "layout/cells.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

// Prints one string at the position set just before, (x, y) millimetres of the form, as its own
// step; the trace learns where it went.
template <class TextFn>
void PrintStep(const LayoutTarget& target, double x, double y, const char* where, TextFn&& text) {
  if (Step([&] { target.surface.Print(text()); })) target.trace.Printed(x, y, where);
}

constexpr char kField[] = "field";
constexpr char kBoxRow[] = "box row";
constexpr char kLongBoxRow[] = "box row, too long for its boxes: as one string from the first box";

bool IsBlank(const std::u32string& text) { return TrimSpaces(text).empty(); }

}  // namespace

void SetPosition(const LayoutTarget& target, double x, double y) {
  const FormPlacement& p = target.placement;
  Step([&] { target.surface.SetCurrentX(ToSingle(x * p.FormScaleX + p.origin_x)); });
  Step([&] { target.surface.SetCurrentY(ToSingle(y * p.FormScaleY + p.origin_y)); });
}

void LayOutSplitRow(const LayoutTarget& target, const std::u32string& row, double left_x,
                    double right_x, double y) {
  const RowCells cells = SplitRow(row);
  SetPosition(target, left_x, y);
  if (cells.HasLeft) {
    PrintStep(target, left_x, y, kField, [&] { return FormatCell(cells.left, kLeftCell); });
  }
  SetPosition(target, right_x, y);
  PrintStep(target, right_x, y, kField, [&] { return FormatCell(cells.right, kRightCell); });
}

void LayOutPlainRow(const LayoutTarget& target, const std::u32string& row, double x, double y,
                    HeaderRow kind) {
  SetPosition(target, x, y);
  if (target.variant == LayoutVariant::kPicture) {
    PrintStep(target, x, y, kField, [&] { return row; });
  } else if (kind == HeaderRow::kTrimmed) {
    // An empty result is still printed: an empty print is output all the same.
    PrintStep(target, x, y, kField, [&] { return TrimSpaces(row); });
  } else if (Condition([&] { return !IsBlank(row); })) {
    PrintStep(target, x, y, kField, [&] { return RightTrimSpaces(row); });
  }
}

void LayOutBoxRow(const LayoutTarget& target, const std::u32string& row,
                  const BoxRowGeometry& boxes, int i) {
  const double y = boxes.RowY(i);
  const bool printer = target.variant == LayoutVariant::kPrinter;
  // The full length decides, spaces and NULs included, in both variants.
  if (row.size() > static_cast<size_t>(boxes.boxes_per_row)) {
    const double x = boxes.first_box_x;
    SetPosition(target, x, y);
    if (!printer) {
      PrintStep(target, x, y, kLongBoxRow, [&] { return row; });
    } else if (Condition([&] { return !IsBlank(row); })) {
      PrintStep(target, x, y, kLongBoxRow, [&] { return TrimSpaces(row); });
    }
    return;
  }
  for (size_t j = 1; j <= row.size(); ++j) {
    // The position is set even for a space the printer variant then leaves out.
    const double x = boxes.BoxX(static_cast<int>(j));
    SetPosition(target, x, y);
    const char32_t c = row[j - 1];
    if (!printer || c != U' ') {
      PrintStep(target, x, y, kBoxRow, [&] { return std::u32string(1, c); });
    }
  }
}

void LayOutRows(TolvForm& form, const LayoutTarget& target, const TextFormGeometry& geometry,
                const std::array<HeaderRow, 3>& header) {
  const auto& Rows = form.job().Rows;
  // A job has no rows beyond its last index, whatever LastRowIndex says.
  const int last = std::min<int>(form.job().PrintJob.LastRowIndex, kRowCount - 1);
  for (int i = 0; i <= last; ++i) {
    const std::u32string& row = Rows[i];
    target.trace.BeginRow(i);
    if (i < kFirstBoxRow) {
      const double y = geometry.header_y[i];
      if (header[i] == HeaderRow::kSplit) {
        LayOutSplitRow(target, row, geometry.header_x, geometry.right_cell_x, y);
      } else {
        LayOutPlainRow(target, row, geometry.header_x, y, header[i]);
      }
    } else {
      LayOutBoxRow(target, row, geometry.boxes, i);
    }
    Step([&] { form.DoEvents(); });
  }
  target.trace.EndCopy();
}

}  // namespace tolv
