#include "surface/dot_layer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "runtime/runtime.h"

namespace tolv {
namespace {

// A page with more pixels than this (an 8 GiB bitmap) is refused rather than reserved.
constexpr int64_t kMaxLayerPixels = int64_t{1} << 36;

uint64_t PixelKey(int32_t x, int32_t y) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(y)) << 32) | static_cast<uint32_t>(x);
}

void AddToRuns(std::vector<DotRun>& runs, int32_t x, int32_t y) {
  if (!runs.empty() && runs.back().y == y && runs.back().x + runs.back().length == x) {
    ++runs.back().length;
  } else {
    runs.push_back({x, y, 1});
  }
}

}  // namespace

std::vector<DotRun> DotBitmap::Runs() const {
  std::vector<DotRun> runs;
  const size_t words = (static_cast<size_t>(width) + 63) / 64;
  for (int32_t row = 0; row < height; ++row) {
    const uint64_t* w = Row(row);
    for (size_t k = 0; k < words; ++k) {
      for (uint64_t bits = w[k]; bits != 0; bits &= bits - 1) {
        AddToRuns(runs, x + static_cast<int32_t>(k * 64) + std::countr_zero(bits), y + row);
      }
    }
  }
  return runs;
}

std::vector<DotRun> RunsOf(std::span<const DotPoint> dots) {
  std::vector<DotRun> runs;
  for (const DotPoint& d : dots) AddToRuns(runs, d.x, d.y);
  return runs;
}

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

void DotLayer::Drain(DotSink& sink, int64_t max_raster_pixels) {
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

  DrainBlack(sink);
  if (DrainAsRaster(last, sink, max_raster_pixels)) return;
  std::vector<DotPoint> points;
  for (size_t i = 0; i < last.size();) {
    size_t j = i;
    points.clear();
    for (; j < last.size() && last[j].rgb == last[i].rgb; ++j) {
      points.push_back({x_begin_ + last[j].x, y_begin_ + last[j].y});
    }
    sink.ColourDots(last[i].rgb, points);
    i = j;
  }
}

bool DotLayer::DrainAsRaster(const std::vector<Dot>& last, DotSink& sink,
                             int64_t max_raster_pixels) {
  // `last` is sorted by colour: count the colours, up to the limit.
  size_t colours = 0;
  for (size_t i = 0; i < last.size() && colours <= kMaxColourLists; ++i) {
    colours += i == 0 || last[i].rgb != last[i - 1].rgb;
  }
  if (colours <= kMaxColourLists) return false;
  Box box;
  for (const Dot& d : last) box.Add(d.x, d.y);
  const int64_t width = int64_t{box.x1} - box.x0 + 1;
  const int64_t strip_rows = std::max<int64_t>(1, max_raster_pixels / width);
  std::vector<uint32_t> pixels;
  for (int64_t top = box.y0; top <= box.y1; top += strip_rows) {
    const int64_t rows = std::min<int64_t>(strip_rows, box.y1 - top + 1);
    pixels.assign(static_cast<size_t>(width * rows), 0);
    bool any = false;
    for (const Dot& d : last) {
      if (d.y < top || d.y >= top + rows) continue;
      pixels[static_cast<size_t>(d.y - top) * static_cast<size_t>(width) +
             static_cast<size_t>(d.x - box.x0)] = DotRaster::kDot | (d.rgb & 0xFFFFFF);
      any = true;
    }
    if (!any) continue;
    sink.ColourRaster({pixels.data(), static_cast<size_t>(width), x_begin_ + box.x0,
                       static_cast<int32_t>(y_begin_ + top), static_cast<int32_t>(width),
                       static_cast<int32_t>(rows)});
  }
  return true;
}

void DotSink::ColourRaster(const DotRaster& raster) {
  struct Point {
    uint32_t rgb;
    DotPoint at;
  };
  std::vector<Point> points;
  for (int32_t row = 0; row < raster.height; ++row) {
    const uint32_t* p = raster.first_pixel + static_cast<size_t>(row) * raster.pixels_per_row;
    for (int32_t col = 0; col < raster.width; ++col) {
      if ((p[col] & DotRaster::kDot) != 0) {
        points.push_back({p[col] & 0xFFFFFF, {raster.x + col, raster.y + row}});
      }
    }
  }
  std::stable_sort(points.begin(), points.end(),
                   [](const Point& a, const Point& b) { return a.rgb < b.rgb; });
  std::vector<DotPoint> dots;
  for (size_t i = 0; i < points.size();) {
    dots.clear();
    size_t j = i;
    for (; j < points.size() && points[j].rgb == points[i].rgb; ++j) dots.push_back(points[j].at);
    ColourDots(points[i].rgb, dots);
    i = j;
  }
}

void DotLayer::DrainBlack(DotSink& sink) {
  if (black_count_ == 0) return;
  const Box box = black_box_;
  // The bitmap handed over starts on a word, so a backend can copy its rows byte for byte; every
  // bit right of the box is clear.
  const int32_t left = box.x0 & ~63;
  const size_t words = static_cast<size_t>(box.x1 >> 6) - static_cast<size_t>(left >> 6) + 1;
  DotBitmap bitmap{Word(left, box.y0),
                   words_per_row_,
                   x_begin_ + left,
                   y_begin_ + box.y0,
                   box.x1 - left + 1,
                   box.y1 - box.y0 + 1,
                   0};
  for (int32_t row = 0; row < bitmap.height; ++row) {
    const uint64_t* w = bitmap.Row(row);
    for (size_t k = 0; k < words; ++k) bitmap.dots += std::popcount(w[k]);
  }
  sink.BlackDots(bitmap);
  for (int32_t y = box.y0; y <= box.y1; ++y) {
    std::memset(Word(left, y), 0, words * sizeof(uint64_t));
  }
  black_count_ = 0;
  black_box_ = Box{};
}

}  // namespace tolv
