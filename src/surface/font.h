#ifndef TOLV_SURFACE_FONT_H_
#define TOLV_SURFACE_FONT_H_

#include <string>

namespace tolv {

// The font of a drawing surface: face name, size in points, weight.
struct FontSpec {
  std::u32string name;
  float size = 0;
  bool bold = false;
};

// A string's extent in device pixels: its advance width, and the height of a line of its font
// (ascent + descent + line gap).
struct TextExtent {
  double width = 0;
  double height = 0;
};

}  // namespace tolv

#endif  // TOLV_SURFACE_FONT_H_
