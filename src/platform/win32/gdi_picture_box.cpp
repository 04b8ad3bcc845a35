#include "platform/win32/gdi_picture_box.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/runtime.h"
#include "runtime/units.h"

namespace tolv {

GdiPictureBox::GdiPictureBox(const PictureBoxDesign& design)
    : PixelPictureBox(design),
      dc_(CreateCompatibleDC(nullptr)),
      fonts_(kScreenDpi, NONANTIALIASED_QUALITY) {}

GdiPictureBox::~GdiPictureBox() {
  if (dc_ != nullptr) DeleteDC(dc_);
}

TextExtent GdiPictureBox::OnMeasureText(const std::u32string& text, const FontSpec& font) {
  if (dc_ == nullptr) throw RuntimeError(ErrorKind::kDeviceError, "no device context");
  return fonts_.Measure(dc_, text, font);
}

void GdiPictureBox::OnDrawText(std::vector<uint32_t>& image, double x, double y,
                               const std::u32string& text, const FontSpec& font) {
  const TextExtent extent = OnMeasureText(text, font);
  const int32_t width = width_px();
  const int32_t height = height_px();
  if (width <= 0 || height <= 0 || image.size() != static_cast<size_t>(width) * height) return;
  const int left = static_cast<int>(std::nearbyint(x));
  const int top = static_cast<int>(std::nearbyint(y));
  // Only the text's cell (with room for overhanging glyphs) goes through GDI: copying a whole
  // 25 MB box for each string would cost more than drawing it.
  const int margin = static_cast<int>(extent.height);
  const int x0 = std::max(0, left - margin);
  const int y0 = std::max(0, top);
  const int x1 = static_cast<int>(std::min<double>(width, left + extent.width + margin));
  const int y1 = static_cast<int>(std::min<double>(height, top + extent.height));
  if (x0 >= x1 || y0 >= y1) return;
  const int w = x1 - x0;
  const int h = y1 - y0;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top-down, as the image's rows run
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section == nullptr || bits == nullptr) {
    throw RuntimeError(ErrorKind::kDeviceError, "CreateDIBSection failed");
  }
  auto* cell = static_cast<uint32_t*>(bits);
  for (int row = 0; row < h; ++row) {
    std::memcpy(cell + static_cast<size_t>(row) * w,
                image.data() + static_cast<size_t>(y0 + row) * width + x0, w * sizeof(uint32_t));
  }
  HGDIOBJ old = SelectObject(dc_, section);
  bool drawn = true;
  try {
    fonts_.Draw(dc_, left - x0, top - y0, text, font);
  } catch (const RuntimeError&) {
    drawn = false;
  }
  GdiFlush();
  SelectObject(dc_, old);
  // GDI leaves the alpha byte of the pixels it writes at 0; every pixel of tolv's images is opaque.
  for (int row = 0; row < h; ++row) {
    uint32_t* target = image.data() + static_cast<size_t>(y0 + row) * width + x0;
    const uint32_t* source = cell + static_cast<size_t>(row) * w;
    for (int k = 0; k < w; ++k) target[k] = source[k] | 0xFF000000u;
  }
  DeleteObject(section);
  if (!drawn) throw RuntimeError(ErrorKind::kDeviceError, "TextOutW failed");
}

}  // namespace tolv
