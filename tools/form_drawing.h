// Sample forms for the seven form types: a drawing of each form's pre-printed fields, taken from
// the same millimetre geometry the layouts print by, written as the form's background picture
// (KORDEL<n>A.GFX, a 1-bit BMP) and as its form data file (KORDEL<n>A.DAT, one dot record for every
// black pixel of the same drawing). Used by the tolv-forms tool, the demo and the tests.
#ifndef TOLV_TOOLS_FORM_DRAWING_H_
#define TOLV_TOOLS_FORM_DRAWING_H_

#include <cstdint>
#include <string>
#include <vector>

#include "layout/geometry.h"

namespace tolv::forms {

// The design width of the picture box that holds form pictures: a form picture of this width is
// shown one to one.
inline constexpr int kPictureWidth = 2087;

// The first and last known form types.
inline constexpr int16_t kFirstBlank = 1;
inline constexpr int16_t kLastBlank = 7;

// A black-and-white drawing; every pixel starts white.
class Bitmap {
 public:
  Bitmap(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  bool IsBlack(int x, int y) const {
    return black_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] !=
           0;
  }
  // Blackens the pixels x0 <= x < x1, y0 <= y < y1 that lie on the drawing.
  void FillRect(int x0, int y0, int x1, int y1);
  int64_t BlackCount() const;

 private:
  int width_;
  int height_;
  std::vector<uint8_t> black_;  // one byte a pixel, rows from the top down
};

// The text places of a form type: the mini geometry for the small types, the maxi one for the rest.
TextFormGeometry FormGeometry(int16_t Blank);
// The highest row the layouts place on the form type, as start-up derives it.
int16_t LastRowIndexOf(int16_t Blank);
// The form picture's size in pixels: kPictureWidth across, the height in the form's proportions.
int PictureHeight(int16_t Blank);

// The drawing of one form type (1 to 7): outer frame, header fields, character boxes of every box
// row the form type lays out, and the type's number in the top-left corner.
Bitmap DrawForm(int16_t Blank);

// The drawing as a 1-bit BMP file: 2-entry palette (0 black, 1 white), rows bottom-up.
std::string EncodeBmp(const Bitmap& bitmap, double pixels_per_mm_x, double pixels_per_mm_y);

// One dot of a form data file, as it lies in the file: 8 bytes, little-endian.
struct FormDot {
  int16_t DotX;
  int16_t DotY;
  int32_t DotColor;  // red in the lowest byte
};
inline constexpr size_t kFormDotSize = 8;

// The drawing as form data: one black dot for each black pixel, row by row from the top, each row
// from the left.
std::string EncodeFormData(const Bitmap& bitmap);
std::vector<FormDot> DecodeFormData(const std::string& bytes);

std::string PictureFileName(int16_t Blank);  // KORDEL<n>A.GFX
std::string DataFileName(int16_t Blank);     // KORDEL<n>A.DAT

// Writes the picture and the form data of every form type into dir, creating it if need be. Each
// file is written beside its final name and then renamed over it, so a reader never sees half a
// file. Throws std::runtime_error naming the file that could not be written.
void WriteSampleForms(const std::string& dir);

}  // namespace tolv::forms

#endif  // TOLV_TOOLS_FORM_DRAWING_H_
