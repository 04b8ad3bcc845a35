#include "platform/win32/gdi_text.h"

#include <algorithm>
#include <cmath>

#include "runtime/runtime.h"
#include "surface/text_rules.h"

namespace tolv {

std::wstring GdiString(const std::u32string& text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (char32_t cp : text) {
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) cp = U' ';
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      wide.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      wide.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      wide.push_back(static_cast<wchar_t>(cp));
    }
  }
  return wide;
}

GdiFonts::~GdiFonts() {
  for (auto& [key, font] : fonts_) DeleteObject(font);
}

HFONT GdiFonts::Get(const FontSpec& font) {
  if (!(font.size > 0) || font.size > kMaxFontPoints) {
    throw RuntimeError(ErrorKind::kInvalidArgument, "font size out of range");
  }
  // A negative height asks for the em size (character height) in pixels, as points mean.
  const long pixels = std::lround(static_cast<double>(font.size) * dpi_y_ / 72.0);
  const Key key{font.name, pixels, font.bold};
  if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
  std::wstring face = GdiString(font.name);
  if (face.size() >= LF_FACESIZE) face.resize(LF_FACESIZE - 1);
  HFONT handle =
      CreateFontW(-static_cast<int>(std::max(pixels, 1L)), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL,
                  FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                  quality_, DEFAULT_PITCH, face.c_str());
  if (handle == nullptr) throw RuntimeError(ErrorKind::kDeviceError, "CreateFontW failed");
  fonts_.emplace(key, handle);
  return handle;
}

TextExtent GdiFonts::Measure(HDC dc, const std::u32string& text, const FontSpec& font) {
  HGDIOBJ old = SelectObject(dc, Get(font));
  const std::wstring wide = GdiString(text);
  SIZE size{};
  TEXTMETRICW metrics{};
  const BOOL measured =
      GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  const BOOL got_metrics = GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  if (!measured || !got_metrics) throw RuntimeError(ErrorKind::kDeviceError, "cannot measure text");
  return TextExtent{static_cast<double>(size.cx),
                    static_cast<double>(metrics.tmHeight + metrics.tmExternalLeading)};
}

void GdiFonts::Draw(HDC dc, int x, int y, const std::u32string& text, const FontSpec& font) {
  HGDIOBJ old = SelectObject(dc, Get(font));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  SetTextAlign(dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
  const std::wstring wide = GdiString(text);
  const BOOL drawn = TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
  SelectObject(dc, old);
  if (!drawn && !wide.empty()) throw RuntimeError(ErrorKind::kDeviceError, "TextOutW failed");
}

}  // namespace tolv
