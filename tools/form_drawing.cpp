#include "tools/form_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "job/job.h"
#include "startup/form_type.h"

namespace tolv::forms {
namespace {

// The look of the drawing, in millimetres of the form unless named otherwise.
constexpr int kLineWidthPx = 2;
constexpr double kFrameInset = 1.0;
// Text is printed with its top-left corner at the layout's place, in a bold font of about 10
// points on paper: a field from just above that corner to a line's height below holds it.
constexpr double kFieldAbove = 0.5;
constexpr double kFieldBelow = 4.5;
constexpr double kFieldEndGap = 2.0;  // between a field's right end and what follows it
// A character box starts a little left of where its character is printed, so the character's
// left side bearing stays inside, and reaches down most of the way to the next box row.
constexpr double kBoxMarginLeft = 0.3;
constexpr double kBoxAbove = 0.5;
constexpr double kBoxDepthOfRowSpacing = 0.85;
// The form type's number, as a seven-segment digit left of the first header field.
constexpr double kDigitLeft = 3.0;
constexpr double kDigitWidth = 3.0;

// The first pixel of a line kLineWidthPx wide centred on edge e (in pixels): the pixels whose
// centres lie in [e - w/2, e + w/2). Computed the same way for every line, so edges drawn from the
// same millimetre value land on the same pixels.
int LineStart(double e) { return static_cast<int>(std::ceil(e - kLineWidthPx / 2.0 - 0.5)); }

// Draws in millimetres of the form onto a bitmap that holds the whole form.
class Pen {
 public:
  Pen(Bitmap& bitmap, double scale_x, double scale_y)
      : bitmap_(bitmap), scale_x_(scale_x), scale_y_(scale_y) {}

  void HorizontalLine(double y, double x0, double x1) {
    const int top = LineStart(y * scale_y_);
    bitmap_.FillRect(LineStart(x0 * scale_x_), top, LineStart(x1 * scale_x_) + kLineWidthPx,
                     top + kLineWidthPx);
  }
  void VerticalLine(double x, double y0, double y1) {
    const int left = LineStart(x * scale_x_);
    bitmap_.FillRect(left, LineStart(y0 * scale_y_), left + kLineWidthPx,
                     LineStart(y1 * scale_y_) + kLineWidthPx);
  }
  void Rectangle(double x0, double y0, double x1, double y1) {
    HorizontalLine(y0, x0, x1);
    HorizontalLine(y1, x0, x1);
    VerticalLine(x0, y0, y1);
    VerticalLine(x1, y0, y1);
  }

 private:
  Bitmap& bitmap_;
  double scale_x_;
  double scale_y_;
};

void DrawField(Pen& pen, double x, double y, double end_x) {
  pen.Rectangle(x - kFieldAbove, y - kFieldAbove, end_x, y + kFieldBelow);
}

// Rows 0 and 1 of a maxi form and row 0 of a mini form are split into a left and a right field.
void DrawHeaderFields(Pen& pen, const TextFormGeometry& form, int split_rows) {
  const double right_end = form.width - kFrameInset - kFieldEndGap;
  for (int row = 0; row < 3; ++row) {
    const double y = form.header_y[row];
    if (row < split_rows) {
      DrawField(pen, form.header_x, y, form.right_cell_x - kFieldAbove - kFieldEndGap);
      DrawField(pen, form.right_cell_x, y, right_end);
    } else {
      DrawField(pen, form.header_x, y, right_end);
    }
  }
}

// One comb per box row: the boxes share their side walls, so each wall is drawn once and two
// neighbouring boxes never get a doubled wall from rounding.
void DrawBoxRow(Pen& pen, const BoxRowGeometry& boxes, int row) {
  const double top = boxes.RowY(row) - kBoxAbove;
  const double bottom = boxes.RowY(row) + kBoxDepthOfRowSpacing * boxes.row_spacing;
  const double left = boxes.BoxX(1) - kBoxMarginLeft;
  const double right = boxes.BoxX(boxes.boxes_per_row + 1) - kBoxMarginLeft;
  pen.HorizontalLine(top, left, right);
  pen.HorizontalLine(bottom, left, right);
  for (int j = 1; j <= boxes.boxes_per_row + 1; ++j) {
    pen.VerticalLine(boxes.BoxX(j) - kBoxMarginLeft, top, bottom);
  }
}

// Segments a to g of a seven-segment digit: top, top right, bottom right, bottom, bottom left,
// top left, middle.
constexpr uint8_t kDigitSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void DrawDigit(Pen& pen, int digit, double left, double top, double width, double height) {
  const uint8_t segments = kDigitSegments[digit];
  const double right = left + width;
  const double bottom = top + height;
  const double middle = top + height / 2;
  if (segments & 0x01) pen.HorizontalLine(top, left, right);
  if (segments & 0x02) pen.VerticalLine(right, top, middle);
  if (segments & 0x04) pen.VerticalLine(right, middle, bottom);
  if (segments & 0x08) pen.HorizontalLine(bottom, left, right);
  if (segments & 0x10) pen.VerticalLine(left, middle, bottom);
  if (segments & 0x20) pen.VerticalLine(left, top, middle);
  if (segments & 0x40) pen.HorizontalLine(middle, left, right);
}

void PutUint16(std::string& out, uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}

void PutUint32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
}

uint32_t GetUint32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  }
  return value;
}

void WriteFileReplacing(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw std::runtime_error("cannot write " + temporary.string());
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw std::runtime_error("cannot write " + path.string() + ": " + error.message());
  }
}

}  // namespace

Bitmap::Bitmap(int width, int height)
    : width_(width),
      height_(height),
      black_(static_cast<size_t>(width) * static_cast<size_t>(height), 0) {}

void Bitmap::FillRect(int x0, int y0, int x1, int y1) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, width_);
  y1 = std::min(y1, height_);
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      black_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] = 1;
    }
  }
}

int64_t Bitmap::BlackCount() const { return std::count(black_.begin(), black_.end(), 1); }

TextFormGeometry FormGeometry(int16_t Blank) {
  return IsMiniForm(Blank) ? MiniFormGeometry(Blank) : MaxiFormGeometry(Blank);
}

int16_t LastRowIndexOf(int16_t Blank) {
  JobState job;
  job.PrintJob.Blank = Blank;
  InitFormType(job, "");
  return job.PrintJob.LastRowIndex;
}

int PictureHeight(int16_t Blank) {
  const TextFormGeometry form = FormGeometry(Blank);
  return static_cast<int>(std::lround(form.height * kPictureWidth / form.width));
}

Bitmap DrawForm(int16_t Blank) {
  const TextFormGeometry form = FormGeometry(Blank);
  Bitmap bitmap(kPictureWidth, PictureHeight(Blank));
  // Millimetres map to pixels the way the layouts map them onto a picture: width over the form's
  // width, height over the form's height.
  Pen pen(bitmap, bitmap.width() / form.width, bitmap.height() / form.height);

  pen.Rectangle(kFrameInset, kFrameInset, form.width - kFrameInset, form.height - kFrameInset);
  DrawHeaderFields(pen, form, IsMiniForm(Blank) ? 1 : 2);
  for (int row = kFirstBoxRow; row <= LastRowIndexOf(Blank); ++row) {
    DrawBoxRow(pen, form.boxes, row);
  }
  DrawDigit(pen, Blank % 10, kDigitLeft, form.header_y[0] - kFieldAbove, kDigitWidth,
            kFieldAbove + kFieldBelow);
  return bitmap;
}

std::string EncodeBmp(const Bitmap& bitmap, double pixels_per_mm_x, double pixels_per_mm_y) {
  constexpr uint32_t kFileHeaderSize = 14;
  constexpr uint32_t kInfoHeaderSize = 40;
  constexpr uint32_t kPaletteSize = 2 * 4;
  constexpr uint32_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize + kPaletteSize;
  const uint32_t width = static_cast<uint32_t>(bitmap.width());
  const uint32_t height = static_cast<uint32_t>(bitmap.height());
  const uint32_t stride = (width + 31) / 32 * 4;  // rows padded to whole 32-bit words
  const uint32_t image_size = stride * height;

  std::string out;
  out.reserve(kPixelOffset + image_size);
  // BITMAPFILEHEADER
  out += "BM";
  PutUint32(out, kPixelOffset + image_size);  // bfSize
  PutUint32(out, 0);                          // bfReserved1, bfReserved2
  PutUint32(out, kPixelOffset);               // bfOffBits
  // BITMAPINFOHEADER; a positive height means the rows are stored bottom-up.
  PutUint32(out, kInfoHeaderSize);
  PutUint32(out, width);
  PutUint32(out, height);
  PutUint16(out, 1);  // biPlanes
  PutUint16(out, 1);  // biBitCount
  PutUint32(out, 0);  // biCompression: BI_RGB
  PutUint32(out, image_size);
  PutUint32(out, static_cast<uint32_t>(std::lround(pixels_per_mm_x * 1000)));
  PutUint32(out, static_cast<uint32_t>(std::lround(pixels_per_mm_y * 1000)));
  PutUint32(out, 2);  // biClrUsed
  PutUint32(out, 2);  // biClrImportant
  // Palette, blue green red reserved: 0 black, 1 white.
  PutUint32(out, 0x00000000);
  PutUint32(out, 0x00FFFFFF);

  for (int y = bitmap.height() - 1; y >= 0; --y) {
    std::string row(stride, '\0');
    for (int x = 0; x < bitmap.width(); ++x) {
      if (!bitmap.IsBlack(x, y)) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    }
    out += row;
  }
  return out;
}

std::string EncodeFormData(const Bitmap& bitmap) {
  // DotX and DotY are 16-bit: a larger drawing cannot be described.
  if (bitmap.width() > INT16_MAX + 1 || bitmap.height() > INT16_MAX + 1) {
    throw std::runtime_error("picture too large for form data");
  }
  std::string out;
  out.reserve(static_cast<size_t>(bitmap.BlackCount()) * kFormDotSize);
  for (int y = 0; y < bitmap.height(); ++y) {
    for (int x = 0; x < bitmap.width(); ++x) {
      if (!bitmap.IsBlack(x, y)) continue;
      PutUint16(out, static_cast<uint16_t>(x));
      PutUint16(out, static_cast<uint16_t>(y));
      PutUint32(out, 0x000000);  // black
    }
  }
  return out;
}

std::vector<FormDot> DecodeFormData(const std::string& bytes) {
  std::vector<FormDot> dots;
  dots.reserve(bytes.size() / kFormDotSize);
  for (size_t at = 0; at + kFormDotSize <= bytes.size(); at += kFormDotSize) {
    const uint32_t xy = GetUint32(bytes, at);
    dots.push_back({static_cast<int16_t>(xy & 0xFFFF), static_cast<int16_t>(xy >> 16),
                    static_cast<int32_t>(GetUint32(bytes, at + 4))});
  }
  return dots;
}

std::string PictureFileName(int16_t Blank) { return FormFileName(Blank, "GFX"); }

std::string DataFileName(int16_t Blank) { return FormFileName(Blank, "DAT"); }

void WriteSampleForms(const std::string& dir) {
  const std::filesystem::path folder(dir);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw std::runtime_error("cannot create " + dir + ": " + error.message());
  for (int16_t Blank = kFirstBlank; Blank <= kLastBlank; ++Blank) {
    const TextFormGeometry form = FormGeometry(Blank);
    const Bitmap bitmap = DrawForm(Blank);
    WriteFileReplacing(
        folder / PictureFileName(Blank),
        EncodeBmp(bitmap, bitmap.width() / form.width, bitmap.height() / form.height));
    WriteFileReplacing(folder / DataFileName(Blank), EncodeFormData(bitmap));
  }
}

}  // namespace tolv::forms
