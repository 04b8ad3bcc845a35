#include "platform/cairo/cairo_picture_box.h"

#include <cairo.h>

#include <new>

#include "runtime/runtime.h"
#include "runtime/units.h"

namespace tolv {
namespace {}  // namespace

CairoPictureBox::CairoPictureBox(const PictureBoxDesign& design,
                                 std::shared_ptr<MissingFonts> missing)
    : PixelPictureBox(design), text_(kScreenDpi, kScreenDpi, std::move(missing)) {}

void CairoPictureBox::OnDrawText(std::vector<uint32_t>& image, double x, double y,
                                 const std::u32string& text, const FontSpec& font) {
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
