#include "platform/cairo/dot_layer.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>

#include "platform/cairo/ccitt_g4.h"
#include "platform/runtime.h"

namespace tolv {
namespace {

// The bitmap's words are copied into Cairo's 1-bit images byte for byte: both put the first pixel
// in the lowest bit only on a little-endian machine.
static_assert(std::endian::native == std::endian::little);

// A page with more pixels than this (an 8 GiB bitmap) is refused rather than reserved.
constexpr int64_t kMaxLayerPixels = int64_t{1} << 36;

void SetSourceRgb(cairo_t* cr, uint32_t rgb) {
  cairo_set_source_rgb(cr, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                       ((rgb >> 16) & 0xFF) / 255.0);
}

uint64_t PixelKey(int32_t x, int32_t y) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(y)) << 32) | static_cast<uint32_t>(x);
}

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
  return dots >= DotLayer::kMinMaskDots && mask_bytes <= DotLayer::kMaskBytesPerDot * dots;
}

}  // namespace

void DotLayer::Box::Add(int32_t x, int32_t y) {
  x0 = std::min(x0, x);
  y0 = std::min(y0, y);
  x1 = std::max(x1, x);
  y1 = std::max(y1, y);
}

DotLayer::DotLayer(int32_t x_begin, int32_t y_begin, int32_t x_end, int32_t y_end)
    : x_begin_(x_begin),
      y_begin_(y_begin),
      width_(std::max(x_end - x_begin, 0)),
      height_(std::max(y_end - y_begin, 0)),
      words_per_row_((static_cast<size_t>(width_) + 63) / 64) {}

void DotLayer::Set(int32_t x, int32_t y, uint32_t rgb) {
  // Off the page: never seen. The subtraction is done in 64 bits, as the bounds may be far apart.
  const int64_t col = int64_t{x} - x_begin_;
  const int64_t row = int64_t{y} - y_begin_;
  if (col < 0 || col >= width_ || row < 0 || row >= height_) return;
  const auto cx = static_cast<int32_t>(col);
  const auto cy = static_cast<int32_t>(row);
  if (rgb == 0) {
    if (!bits_) {
      if (int64_t{width_} * height_ > kMaxLayerPixels) {
        throw RuntimeError(ErrorKind::kDeviceError, "page too large for dots");
      }
      // Zeroed pages of memory that only become real where a dot falls.
      bits_.reset(static_cast<uint64_t*>(std::calloc(words_per_row_ * height_, sizeof(uint64_t))));
      if (!bits_) throw std::bad_alloc();
    }
    *Word(cx, cy) |= Bit(cx);
    ++black_count_;
    black_box_.Add(cx, cy);
  } else {
    // A black dot that came earlier is covered.
    if (bits_) *Word(cx, cy) &= ~Bit(cx);
    coloured_.push_back({cx, cy, rgb});
  }
}

void DotLayer::Flush(cairo_t* cr, double inset_x, double inset_y) {
  // Each pixel's last coloured dot, unless a black one came after it; read before the black
  // dots' bits are cleared.
  std::vector<Dot> last;
  if (!coloured_.empty()) {
    std::stable_sort(coloured_.begin(), coloured_.end(), [](const Dot& a, const Dot& b) {
      return PixelKey(a.x, a.y) < PixelKey(b.x, b.y);
    });
    last.reserve(coloured_.size());
    for (size_t i = 0; i < coloured_.size(); ++i) {
      const Dot& d = coloured_[i];
      if (i + 1 < coloured_.size() && coloured_[i + 1].x == d.x && coloured_[i + 1].y == d.y) {
        continue;  // a later coloured dot on the same pixel
      }
      if (!Black(d.x, d.y)) last.push_back(d);
    }
    coloured_.clear();
    // By colour, each colour's dots still row by row.
    std::stable_sort(last.begin(), last.end(),
                     [](const Dot& a, const Dot& b) { return a.rgb < b.rgb; });
  }

  FlushBlack(cr, inset_x, inset_y);
  for (size_t i = 0; i < last.size();) {
    size_t j = i + 1;
    while (j < last.size() && last[j].rgb == last[i].rgb) ++j;
    FlushColour(cr, last.data() + i, last.data() + j, inset_x, inset_y);
    i = j;
  }
}

void DotLayer::FlushBlack(cairo_t* cr, double inset_x, double inset_y) {
  if (black_count_ == 0) return;
  const Box box = black_box_;
  // The mask starts on a word of the bitmap, so its rows are copied byte for byte; every bit
  // right of the box is clear.
  const int32_t left = box.x0 & ~63;
  const int32_t width = box.x1 - left + 1;
  const int32_t height = box.y1 - box.y0 + 1;
  const size_t words = static_cast<size_t>(box.x1 >> 6) - static_cast<size_t>(left >> 6) + 1;
  const size_t row_bytes = (static_cast<size_t>(width) + 7) / 8;

  int64_t dots = 0;
  for (int32_t y = box.y0; y <= box.y1; ++y) {
    const uint64_t* w = Word(left, y);
    for (size_t k = 0; k < words; ++k) dots += std::popcount(w[k]);
  }

  if (UseMask(dots, static_cast<int64_t>(row_bytes) * height)) {
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A1, width, height);
    if (cairo_surface_status(mask) == CAIRO_STATUS_SUCCESS) {
      cairo_surface_flush(mask);
      unsigned char* data = cairo_image_surface_get_data(mask);
      const int stride = cairo_image_surface_get_stride(mask);
      for (int32_t y = box.y0; y <= box.y1; ++y) {
        std::memcpy(data + static_cast<size_t>(y - box.y0) * stride, Word(left, y), row_bytes);
      }
      cairo_surface_mark_dirty(mask);
      AttachG4(mask);
    }
    // A mask that could not be made puts its error into cr, where the document's end finds it.
    PaintMask(cr, mask, left, box.y0, 0, inset_x, inset_y);
    cairo_surface_destroy(mask);
  } else {
    std::vector<Run> runs;
    for (int32_t y = box.y0; y <= box.y1; ++y) {
      const uint64_t* w = Word(left, y);
      for (size_t k = 0; k < words; ++k) {
        for (uint64_t bits = w[k]; bits != 0; bits &= bits - 1) {
          const int32_t x = left + static_cast<int32_t>(k * 64) + std::countr_zero(bits);
          if (!runs.empty() && runs.back().y == y && runs.back().x + runs.back().length == x) {
            ++runs.back().length;
          } else {
            runs.push_back({x, y, 1});
          }
        }
      }
    }
    FillRuns(cr, runs, 0, inset_x, inset_y);
  }

  for (int32_t y = box.y0; y <= box.y1; ++y) {
    std::memset(Word(left, y), 0, words * sizeof(uint64_t));
  }
  black_count_ = 0;
  black_box_ = Box{};
}

void DotLayer::FlushColour(cairo_t* cr, const Dot* begin, const Dot* end, double inset_x,
                           double inset_y) {
  const uint32_t rgb = begin->rgb;
  Box box;
  for (const Dot* d = begin; d != end; ++d) box.Add(d->x, d->y);
  const int32_t width = box.x1 - box.x0 + 1;
  const int32_t height = box.y1 - box.y0 + 1;
  const int64_t row_bytes = (int64_t{width} + 7) / 8;

  if (UseMask(end - begin, row_bytes * height)) {
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A1, width, height);
    if (cairo_surface_status(mask) == CAIRO_STATUS_SUCCESS) {
      cairo_surface_flush(mask);
      unsigned char* data = cairo_image_surface_get_data(mask);
      const int stride = cairo_image_surface_get_stride(mask);
      for (const Dot* d = begin; d != end; ++d) {
        const int32_t x = d->x - box.x0;
        data[static_cast<size_t>(d->y - box.y0) * stride + static_cast<size_t>(x >> 3)] |=
            static_cast<unsigned char>(1u << (x & 7));
      }
      cairo_surface_mark_dirty(mask);
      AttachG4(mask);
    }
    PaintMask(cr, mask, box.x0, box.y0, rgb, inset_x, inset_y);
    cairo_surface_destroy(mask);
  } else {
    std::vector<Run> runs;
    for (const Dot* d = begin; d != end; ++d) {
      if (!runs.empty() && runs.back().y == d->y && runs.back().x + runs.back().length == d->x) {
        ++runs.back().length;
      } else {
        runs.push_back({d->x, d->y, 1});
      }
    }
    FillRuns(cr, runs, rgb, inset_x, inset_y);
  }
}

void DotLayer::PaintMask(cairo_t* cr, cairo_surface_t* mask, int32_t x, int32_t y, uint32_t rgb,
                         double inset_x, double inset_y) const {
  const double width = cairo_image_surface_get_width(mask);
  const double height = cairo_image_surface_get_height(mask);
  cairo_save(cr);
  SetSourceRgb(cr, rgb);
  // The mask's pixels on the device's pixels, each kept inside its edges like a single dot.
  cairo_translate(cr, static_cast<double>(x_begin_) + x + inset_x,
                  static_cast<double>(y_begin_) + y + inset_y);
  if (width > 0 && height > 0) {
    cairo_scale(cr, (width - 2 * inset_x) / width, (height - 2 * inset_y) / height);
  }
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(mask);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
  cairo_mask(cr, pattern);
  cairo_pattern_destroy(pattern);
  cairo_restore(cr);
}

void DotLayer::FillRuns(cairo_t* cr, const std::vector<Run>& runs, uint32_t rgb, double inset_x,
                        double inset_y) const {
  if (runs.empty()) return;
  cairo_save(cr);
  cairo_new_path(cr);
  for (const Run& r : runs) {
    cairo_rectangle(cr, static_cast<double>(x_begin_) + r.x + inset_x,
                    static_cast<double>(y_begin_) + r.y + inset_y, r.length - 2 * inset_x,
                    1 - 2 * inset_y);
  }
  SetSourceRgb(cr, rgb);
  cairo_fill(cr);
  cairo_restore(cr);
}

}  // namespace tolv
