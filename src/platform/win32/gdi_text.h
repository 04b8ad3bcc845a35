// How tolv measures and draws text with GDI, the same way on the printer and in the picture boxes:
// fonts by face name at a size in whole device pixels from points at the surface's resolution,
// text placed by its cell's top-left corner, black, on a transparent background.
#ifndef TOLV_PLATFORM_WIN32_GDI_TEXT_H_
#define TOLV_PLATFORM_WIN32_GDI_TEXT_H_

#include <windows.h>

#include <map>
#include <string>
#include <tuple>

#include "surface/font.h"

namespace tolv {

// The one way text reaches GDI: UTF-16 with every control character (C0 with NUL, DEL, C1) as a
// space, so it is drawn as a blank the width of a space, and values that are no character
// (surrogates, beyond U+10FFFF) as U+FFFD.
std::wstring GdiString(const std::u32string& text);

// The fonts of one surface, made once each. `quality` is the LOGFONT quality (DEFAULT_QUALITY on
// a printer, NONANTIALIASED_QUALITY in a picture box, whose pixels are black or white).
class GdiFonts {
 public:
  GdiFonts(double dpi_y, BYTE quality) : dpi_y_(dpi_y), quality_(quality) {}
  ~GdiFonts();
  GdiFonts(const GdiFonts&) = delete;
  GdiFonts& operator=(const GdiFonts&) = delete;

  // The GDI font of a face, size and weight; raises RuntimeError for a size that is not a
  // positive size GDI can make, or when GDI refuses.
  HFONT Get(const FontSpec& font);

  // Measures with `dc` (which the caller's font need not be selected into): the advance width and
  // the line height (tmHeight + tmExternalLeading), in device pixels.
  TextExtent Measure(HDC dc, const std::u32string& text, const FontSpec& font);

  // Draws at (x, y), the cell's top-left corner in device pixels, black and transparent.
  void Draw(HDC dc, int x, int y, const std::u32string& text, const FontSpec& font);

 private:
  using Key = std::tuple<std::u32string, long, bool>;
  double dpi_y_;
  BYTE quality_;
  std::map<Key, HFONT> fonts_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_GDI_TEXT_H_
