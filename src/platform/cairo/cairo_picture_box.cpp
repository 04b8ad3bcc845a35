#include "platform/cairo/cairo_picture_box.h"

#include <cairo.h>

#include <cmath>
#include <new>

#include "runtime/runtime.h"
#include "runtime/units.h"

namespace tolv {
namespace {

// Positions beyond this many pixels are refused: Cairo keeps coordinates in 24.8 fixed point and
// would wrap them silently.
constexpr double kMaxPixelCoordinate = 8388607.0;

}  // namespace

CairoPictureBox::CairoPictureBox(const PictureBoxDesign& design,
                                 std::shared_ptr<MissingFonts> missing)
    : PixelPictureBox(design), text_(kScreenDpi, kScreenDpi, std::move(missing)) {}

void CairoPictureBox::OnDrawText(std::vector<uint32_t>& image, double x, double y,
                                 const std::u32string& text, const FontSpec& font) {
  if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > kMaxPixelCoordinate ||
      std::fabs(y) > kMaxPixelCoordinate) {
    throw RuntimeError(ErrorKind::kOverflow, "coordinate out of range");
  }
  const int32_t width = width_px();
  const int32_t height = height_px();
  if (width <= 0 || height <= 0 || image.size() != static_cast<size_t>(width) * height) return;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
  if (stride != width * 4) {
    throw RuntimeError(ErrorKind::kDeviceError, "picture box too wide to draw text in");
  }
  // The image is opaque 0xAARRGGBB, which is Cairo's ARGB32; black drawn over opaque pixels
  // leaves them opaque.
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(image.data()), CAIRO_FORMAT_ARGB32, width, height, stride);
  cairo_t* cr = cairo_create(surface);
  try {
    text_.Draw(cr, x, y, text, font);
  } catch (...) {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    throw;
  }
  const cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  if (status == CAIRO_STATUS_NO_MEMORY) throw std::bad_alloc();
  if (status != CAIRO_STATUS_SUCCESS) {
    throw RuntimeError(ErrorKind::kDeviceError, cairo_status_to_string(status));
  }
}

TextExtent CairoPictureBox::OnMeasureText(const std::u32string& text, const FontSpec& font) {
  return text_.Measure(text, font);
}

}  // namespace tolv
