// The dots (PSet) set on the printer since its last other output, kept per device pixel and put
// into the page in bulk.
//
// Cairo's PDF backend grows slower with every mark it is given: one fill per dot took 18 s for
// 100,000 dots, and one path of rectangles still took 5 s and 19 MB of PDF for 1,000,000. Here
// each colour's dots become one 1-bit stencil mask of their bounding box, painted once in that
// colour with the nearest filter, so that every set bit fills exactly its own device pixel; a
// colour with few dots far apart (where a mask would be mostly empty) becomes a path of its runs
// of neighbouring dots instead. A mask of scattered dots carries its Group 4 code (ccitt_g4.h),
// which Cairo stores as it is rather than spend most of the run compressing the mask.
//
// The later dot on a pixel wins: black dots live in a bitmap of the page (a black dot sets its
// bit, a coloured one clears it) and coloured dots in a list in the order they came; when the dots
// are drawn, a pixel keeps its last coloured dot unless its bit says a black one came after it.
// Every pixel then has one colour, the colours' marks never overlap, and the order in which they
// are painted changes nothing. The printer draws the layer before any other output, so every dot
// still lies above what came before it and below what comes after.
#ifndef TOLV_PLATFORM_CAIRO_DOT_LAYER_H_
#define TOLV_PLATFORM_CAIRO_DOT_LAYER_H_

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace tolv {

class DotLayer {
 public:
  // The printer's device pixels x_begin <= x < x_end, y_begin <= y < y_end that lie on the page,
  // wholly or in part. A dot elsewhere is never seen and is dropped.
  DotLayer(int32_t x_begin, int32_t y_begin, int32_t x_end, int32_t y_end);

  // One device pixel in a colour (0x00BBGGRR, red in the lowest byte); the later dot on a pixel
  // wins.
  void Set(int32_t x, int32_t y, uint32_t rgb);

  bool empty() const { return black_count_ == 0 && coloured_.empty(); }
  // So many coloured dots wait that they should be drawn now (drawing them earlier changes
  // nothing on the page).
  bool full() const { return coloured_.size() >= kMaxColouredDots; }

  // Draws the dots into cr, whose user space is the printer's device pixels, each inset by
  // (inset_x, inset_y) inside its pixel's edges; then the layer is empty again.
  void Flush(cairo_t* cr, double inset_x, double inset_y);

  // At most this many coloured dots wait (12 bytes each).
  static constexpr size_t kMaxColouredDots = size_t{1} << 21;

  // A colour's dots become a mask when there are at least this many and the mask's bytes are at
  // most kMaskBytesPerDot for each dot; else a path of runs. A path costs Cairo a few
  // microseconds a dot, a mask about as much for each kilobyte it has.
  static constexpr int64_t kMinMaskDots = 64;
  static constexpr int64_t kMaskBytesPerDot = 1024;

 private:
  struct Dot {
    int32_t x;  // from x_begin
    int32_t y;  // from y_begin
    uint32_t rgb;
  };
  // A run of neighbouring dots of one colour in one row.
  struct Run {
    int32_t x;
    int32_t y;
    int32_t length;
  };
  struct Box {
    int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;  // inclusive
    void Add(int32_t x, int32_t y);
    bool empty() const { return x0 > x1; }
  };
  struct FreeDeleter {
    void operator()(uint64_t* p) const { std::free(p); }
  };

  static constexpr uint64_t Bit(int32_t x) { return uint64_t{1} << (x & 63); }
  uint64_t* Word(int32_t x, int32_t y) {
    return bits_.get() + static_cast<size_t>(y) * words_per_row_ + static_cast<size_t>(x >> 6);
  }
  bool Black(int32_t x, int32_t y) { return bits_ && (*Word(x, y) & Bit(x)) != 0; }

  void FlushBlack(cairo_t* cr, double inset_x, double inset_y);
  void FlushColour(cairo_t* cr, const Dot* begin, const Dot* end, double inset_x, double inset_y);
  // Paints a 1-bit mask whose pixel (0, 0) is layer pixel (x, y) in the colour.
  void PaintMask(cairo_t* cr, cairo_surface_t* mask, int32_t x, int32_t y, uint32_t rgb,
                 double inset_x, double inset_y) const;
  void FillRuns(cairo_t* cr, const std::vector<Run>& runs, uint32_t rgb, double inset_x,
                double inset_y) const;

  int32_t x_begin_;
  int32_t y_begin_;
  int32_t width_;
  int32_t height_;
  size_t words_per_row_;
  // The black dots, one bit a pixel of the page, LSB first (as Cairo's 1-bit images are on a
  // little-endian machine); made at the first black dot, zero again after each flush.
  std::unique_ptr<uint64_t, FreeDeleter> bits_;
  int64_t black_count_ = 0;  // black dots set since the last flush (a pixel may count twice)
  Box black_box_;
  std::vector<Dot> coloured_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_DOT_LAYER_H_
