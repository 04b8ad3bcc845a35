// The fixed grid of output mode 3: the text alone, on paper whose form is already printed, at fixed
// millimetre positions, twice on the sheet (the second copy FormPitch millimetres lower).
#include <cstdio>
#include <string>

#include "form/tolv_form.h"
#include "layout/cells.h"
#include "layout/geometry.h"
#include "runtime/runtime.h"
#include "surface/scale.h"

namespace tolv {
namespace {

// Per form type: boxes in a box row, an extra downward shift of the grid, and where row 0's right
// cell stands. Row 2 is a split row from form type 3 on.
struct GridType {
  int16_t box_count;
  double shift_mm;
  double right_cell_x_mm;
};

GridType GridTypeOf(int16_t blank) {
  switch (blank) {
    case 1:
      return {26, 8.0, 71.0};
    case 2:
      return {30, 0.0, 92.0};
    case 3:
    case 4:
    case 5:
    case 6:
      return {33, 0.0, 71.0};
    case 7:
      return {33, 4.0, 71.0};
    default:
      return {0, 0.0, 71.0};  // only row 0 is laid out: no box count is needed
  }
}

constexpr float kHeaderPoints = 10.0f;
constexpr float kBoxRowPoints = 12.0f;
constexpr double kCellLeftX = 26.0;
constexpr double kRow2RightX = 121.0;
constexpr double kRow0Y = 7.8;
constexpr double kRow1Y = 11.9;
constexpr double kRow2Y = 16.2;
constexpr double kFirstBoxRowY = 24.5;
constexpr double kBoxRowSpacing = 8.5;
constexpr double kFirstBoxX = 14.0;
constexpr double kBoxPitch = 3.98;

std::string Millimetres(double mm) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f mm", mm);
  return text;
}

}  // namespace

void TolvForm::PrintRoduvu() {
  const JobState& j = job();
  Printer& p = printer();
  Step([&] { p.SetScaleMode(kScalePixels); });
  Step([&] { p.SetFontName(j.FontFace); });
  Step([&] { p.SetFontBold(true); });
  const GridType type = GridTypeOf(j.PrintJob.Blank);

  // A split row: the left cell only when the row has a bar, then the right cell.
  auto print_split_row = [&](const std::u32string& row, double right_x, double y) {
    RowCells cells;
    Step([&] { cells = SplitRow(row); });
    Step([&] {
      if (cells.HasLeft) PrintAt(kCellLeftX, y, FormatCell(cells.left, kLeftCell));
      if (cells.HasLeft) trace().Printed(kCellLeftX, y, "field");
    });
    if (Step([&] { PrintAt(right_x, y, FormatCell(cells.right, kRightCell)); })) {
      trace().Printed(right_x, y, "field");
    }
  };
  auto print_field = [&](double x, double y, const std::u32string& text) {
    if (Step([&] { PrintAt(x, y, text); })) trace().Printed(x, y, "field");
  };

  auto print_box_row = [&](int r) {
    const std::u32string& text = j.Rows[r];
    const double y = kFirstBoxRowY + (r - 3) * kBoxRowSpacing;
    Step([&] { p.SetFontSize(kBoxRowPoints); });
    if (static_cast<int64_t>(text.size()) > type.box_count) {
      if (Step([&] { PrintAt(kFirstBoxX, y, text); })) {
        trace().Printed(kFirstBoxX, y,
                        "box row, too long for its boxes: as one string from the first box");
      }
      return;
    }
    // The row is dropped when its line would reach the bottom of the printable area.
    float bottom = 0;
    const bool off_the_page = Condition([&] {
      const float v = ToSingle(y * j.PixelsPerMmY + j.PixelsPerMmY * OriginY + p.TextHeight(U"T"));
      bottom = v;
      return !(v < p.ScaleHeight());
    });
    if (off_the_page) {
      if (!text.empty()) {
        trace().Dropped("height test: its line would end " +
                        Millimetres((bottom - p.ScaleHeight()) / j.PixelsPerMmY) +
                        " below the printable area");
      }
      return;
    }
    for (size_t c = 1; c <= text.size(); ++c) {
      const double x = kFirstBoxX + static_cast<double>(c - 1) * kBoxPitch;
      // A character whose box would pass the printable width is left out; the others keep theirs.
      float right = 0;
      const bool fits = Condition([&] {
        const float u = ToSingle(x * j.PixelsPerMmX + j.PixelsPerMmX * OriginX + p.TextWidth(U"W"));
        right = u;
        return u < p.ScaleWidth();
      });
      if (fits) {
        if (Step([&] { PrintAt(x, y, text.substr(c - 1, 1)); })) trace().Printed(x, y, "box row");
      } else {
        trace().Dropped("width test: character " + std::to_string(c) + " would end " +
                        Millimetres((right - p.ScaleWidth()) / j.PixelsPerMmX) +
                        " beyond the printable area");
      }
    }
  };

  for (int k = 0; k <= 1; ++k) {
    Step([&] { OriginY = k * j.FormPitch + type.shift_mm; });
    Step([&] { OriginY = OriginY + (2 * 7.8 / 50 * j.PrintJob.OffsetY - 7.8); });
    Step([&] { OriginX = 28.0 / 50 * j.PrintJob.OffsetX - 14; });
    // The grid's frame: its corner at the origins, the form's size.
    Step([&] {
      trace().FormPlaced(*this, ToInt32(OriginX * j.PixelsPerMmX),
                         ToInt32(OriginY * j.PixelsPerMmY), ToInt32(kFormWidthMm * j.PixelsPerMmX),
                         ToInt32(FormHeightMm(j.PrintJob.Blank) * j.PixelsPerMmY));
    });
    for (int r = 0; r <= j.PrintJob.LastRowIndex && r < kRowCount; ++r) {
      trace().BeginRow(r);
      if (r == 0) {
        Step([&] { p.SetFontSize(kHeaderPoints); });
        print_split_row(j.Rows[0], type.right_cell_x_mm, kRow0Y);
      } else if (r == 1) {
        Step([&] { p.SetFontSize(kHeaderPoints); });
        print_field(kCellLeftX, kRow1Y, j.Rows[1]);
      } else if (r == 2) {
        Step([&] { p.SetFontSize(kHeaderPoints); });
        if (j.PrintJob.Blank <= 2) {
          print_field(kCellLeftX, kRow2Y, j.Rows[2]);
        } else {
          print_split_row(j.Rows[2], kRow2RightX, kRow2Y);
        }
      } else {
        print_box_row(r);
      }
      DoEvents();
    }
    trace().EndCopy();
  }
}

void TolvForm::PrintAt(const double& x, const double& y, const std::u32string& Text) {
  const JobState& j = job();
  Printer& p = printer();
  // Millimetres become device pixels here, in double precision, handed over as single.
  p.SetCurrentX(ToSingle((OriginX + x) * j.PixelsPerMmX));
  p.SetCurrentY(ToSingle((OriginY + y) * j.PixelsPerMmY));
  p.Print(Text);
}

}  // namespace tolv
