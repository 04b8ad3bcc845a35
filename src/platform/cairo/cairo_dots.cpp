#include "platform/cairo/cairo_dots.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "picture/ccitt_g4.h"

namespace tolv {
namespace {

// The bitmap's words are copied into Cairo's 1-bit images byte for byte: both put the first pixel
// in the lowest bit only on a little-endian machine.
static_assert(std::endian::native == std::endian::little);

// Whether most of the mask's marked rows repeat an earlier row, as the rows of form lines drawn
// dot by dot at a scale above 1 do: zlib finds those repeats, quickly, and makes far less of
// them than Group 4, which codes every row against the one above it only.
bool RowsRepeat(const uint8_t* rows, size_t stride, int32_t width, int32_t height) {
  const size_t row_bytes = (static_cast<size_t>(width) + 7) / 8;
  std::unordered_set<uint64_t> seen;
  int64_t marked = 0;
  int64_t repeated = 0;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = rows + static_cast<size_t>(y) * stride;
    uint64_t hash = 0xCBF29CE484222325ull;
    bool any = false;
    for (size_t i = 0; i < row_bytes; ++i) {
      any |= row[i] != 0;
      hash = (hash ^ row[i]) * 0x100000001B3ull;
    }
    if (!any) continue;
    ++marked;
    if (!seen.insert(hash).second) ++repeated;
  }
  return repeated * 2 > marked;
}

// Attaches the mask's Group 4 encoding, which Cairo then stores as it is instead of compressing
// the mask with zlib: for scattered dots zlib took most of the run (a page of 50,000 took 96 ms,
// 47 with this), and their Group 4 code is little larger. Masks whose rows mostly repeat are left
// to zlib, and so is a Group 4 code above a third of the mask's bytes (a dense speckle).
void AttachG4(cairo_surface_t* mask) {
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) return;
  const int32_t width = cairo_image_surface_get_width(mask);
  const int32_t height = cairo_image_surface_get_height(mask);
  const size_t raw_bytes = (static_cast<size_t>(width) + 7) / 8 * static_cast<size_t>(height);
  const uint8_t* rows = cairo_image_surface_get_data(mask);
  const auto stride = static_cast<size_t>(cairo_image_surface_get_stride(mask));
  if (RowsRepeat(rows, stride, width, height)) return;
  const std::string g4 = EncodeG4(rows, stride, width, height, raw_bytes / 3);
  if (g4.empty()) return;
  const std::string params = G4Params(width, height);
  auto* data = static_cast<unsigned char*>(std::malloc(g4.size()));
  auto* text = static_cast<unsigned char*>(std::malloc(params.size()));
  if (data == nullptr || text == nullptr) {
    std::free(data);
    std::free(text);
    return;  // zlib it is
  }
  std::memcpy(data, g4.data(), g4.size());
  std::memcpy(text, params.data(), params.size());
  // Cairo frees each with the surface. The parameters go first: Cairo uses the data only
  // together with them.
  if (cairo_surface_set_mime_data(mask, CAIRO_MIME_TYPE_CCITT_FAX_PARAMS, text, params.size(),
                                  std::free, text) != CAIRO_STATUS_SUCCESS) {
    std::free(text);
    std::free(data);
    return;
  }
  if (cairo_surface_set_mime_data(mask, CAIRO_MIME_TYPE_CCITT_FAX, data, g4.size(), std::free,
                                  data) != CAIRO_STATUS_SUCCESS) {
    std::free(data);
  }
}

// Whether a colour's dots are better drawn as a mask of their bounding box than as a path.
bool UseMask(int64_t dots, int64_t mask_bytes) {
  return dots >= kMinMaskDots && mask_bytes <= kMaskBytesPerDot * dots;
}

class CairoDotSink : public DotSink {
 public:
  CairoDotSink(cairo_t* cr, double inset_x, double inset_y)
      : cr_(cr), inset_x_(inset_x), inset_y_(inset_y) {}

  void BlackDots(const DotBitmap& bitmap) override {
    const size_t row_bytes = (static_cast<size_t>(bitmap.width) + 7) / 8;
    if (!UseMask(bitmap.dots, static_cast<int64_t>(row_bytes) * bitmap.height)) {
      FillRuns(bitmap.Runs(), 0);
      return;
    }
    cairo_surface_t* mask =
        cairo_image_surface_create(CAIRO_FORMAT_A1, bitmap.width, bitmap.height);
    if (cairo_surface_status(mask) == CAIRO_STATUS_SUCCESS) {
      cairo_surface_flush(mask);
      unsigned char* data = cairo_image_surface_get_data(mask);
      const int stride = cairo_image_surface_get_stride(mask);
      for (int32_t row = 0; row < bitmap.height; ++row) {
        std::memcpy(data + static_cast<size_t>(row) * stride, bitmap.Row(row), row_bytes);
      }
      cairo_surface_mark_dirty(mask);
      AttachG4(mask);
    }
    PaintMask(mask, bitmap.x, bitmap.y, 0);
    cairo_surface_destroy(mask);
  }

  // One image with an alpha channel, its unmarked pixels transparent.
  void ColourRaster(const DotRaster& raster) override {
    cairo_surface_t* image =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, raster.width, raster.height);
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
      cairo_surface_flush(image);
      unsigned char* data = cairo_image_surface_get_data(image);
      const int stride = cairo_image_surface_get_stride(image);
      for (int32_t row = 0; row < raster.height; ++row) {
        const uint32_t* from =
            raster.first_pixel + static_cast<size_t>(row) * raster.pixels_per_row;
        auto* to = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(row) * stride);
        for (int32_t col = 0; col < raster.width; ++col) {
          const uint32_t p = from[col];
          // Cairo's pixels: 0xAARRGGBB, premultiplied (a mark is opaque, so nothing changes).
          to[col] = (p & DotRaster::kDot) == 0
                        ? 0
                        : 0xFF000000u | ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
        }
      }
      cairo_surface_mark_dirty(image);
    }
    cairo_save(cr_);
    cairo_translate(cr_, raster.x + inset_x_, raster.y + inset_y_);
    cairo_scale(cr_, (raster.width - 2 * inset_x_) / raster.width,
                (raster.height - 2 * inset_y_) / raster.height);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(image);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_set_source(cr_, pattern);
    cairo_paint(cr_);
    cairo_pattern_destroy(pattern);
    cairo_restore(cr_);
    cairo_surface_destroy(image);
  }

  void ColourDots(uint32_t rgb, std::span<const DotPoint> dots) override {
    int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
    for (const DotPoint& d : dots) {
      x0 = std::min(x0, d.x);
      y0 = std::min(y0, d.y);
      x1 = std::max(x1, d.x);
      y1 = std::max(y1, d.y);
    }
    const int32_t width = x1 - x0 + 1;
    const int32_t height = y1 - y0 + 1;
    const int64_t row_bytes = (int64_t{width} + 7) / 8;
    if (!UseMask(static_cast<int64_t>(dots.size()), row_bytes * height)) {
      FillRuns(RunsOf(dots), rgb);
      return;
    }
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A1, width, height);
    if (cairo_surface_status(mask) == CAIRO_STATUS_SUCCESS) {
      cairo_surface_flush(mask);
      unsigned char* data = cairo_image_surface_get_data(mask);
      const int stride = cairo_image_surface_get_stride(mask);
      for (const DotPoint& d : dots) {
        const int32_t x = d.x - x0;
        data[static_cast<size_t>(d.y - y0) * stride + static_cast<size_t>(x >> 3)] |=
            static_cast<unsigned char>(1u << (x & 7));
      }
      cairo_surface_mark_dirty(mask);
      AttachG4(mask);
    }
    PaintMask(mask, x0, y0, rgb);
    cairo_surface_destroy(mask);
  }

 private:
  void SetSourceRgb(uint32_t rgb) {
    cairo_set_source_rgb(cr_, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         ((rgb >> 16) & 0xFF) / 255.0);
  }

  // Paints a 1-bit mask whose pixel (0, 0) is device pixel (x, y) in the colour.
  void PaintMask(cairo_surface_t* mask, int32_t x, int32_t y, uint32_t rgb) {
    const double width = cairo_image_surface_get_width(mask);
    const double height = cairo_image_surface_get_height(mask);
    cairo_save(cr_);
    SetSourceRgb(rgb);
    // The mask's pixels on the device's pixels, each kept inside its edges like a single dot.
    cairo_translate(cr_, x + inset_x_, y + inset_y_);
    if (width > 0 && height > 0) {
      cairo_scale(cr_, (width - 2 * inset_x_) / width, (height - 2 * inset_y_) / height);
    }
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(mask);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_mask(cr_, pattern);
    cairo_pattern_destroy(pattern);
    cairo_restore(cr_);
  }

  void FillRuns(const std::vector<DotRun>& runs, uint32_t rgb) {
    if (runs.empty()) return;
    cairo_save(cr_);
    cairo_new_path(cr_);
    for (const DotRun& r : runs) {
      cairo_rectangle(cr_, r.x + inset_x_, r.y + inset_y_, r.length - 2 * inset_x_,
                      1 - 2 * inset_y_);
    }
    SetSourceRgb(rgb);
    cairo_fill(cr_);
    cairo_restore(cr_);
  }

  cairo_t* cr_;
  double inset_x_;
  double inset_y_;
};

}  // namespace

void PaintDots(DotLayer& layer, cairo_t* cr, double inset_x, double inset_y) {
  if (layer.empty()) return;
  CairoDotSink sink(cr, inset_x, inset_y);
  layer.Drain(sink);
}

}  // namespace tolv
