// The dots (PSet) set on a printer since its last other output, kept per device pixel and handed
// to the backend in bulk.
//
// A printer's drawing library grows slow with one mark per dot (one Cairo fill per dot took 18 s
// for 100,000 dots; some Windows drivers draw nothing for a single SetPixel), so every backend
// gets the dots of a layer at once: the black dots as one bitmap, and each other colour's dots as
// one list, row by row. How a backend marks them (masks, runs) is its own affair.
//
// The later dot on a pixel wins: black dots live in a bitmap of the page (a black dot sets its
// bit, a coloured one clears it) and coloured dots in a list in the order they came; when the dots
// are drained, a pixel keeps its last coloured dot unless its bit says a black one came after it.
// Every pixel then has one colour, the colours' marks never overlap, and the order in which a
// backend paints them changes nothing. The printer drains the layer before any other output, so
// every dot still lies above what came before it and below what comes after.
#ifndef TOLV_SURFACE_DOT_LAYER_H_
#define TOLV_SURFACE_DOT_LAYER_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

namespace tolv {

// A device pixel of the printer, from the printable area's corner.
struct DotPoint {
  int32_t x;
  int32_t y;
};

// Neighbouring dots of one colour in one row: pixels x to x + length - 1 of row y.
struct DotRun {
  int32_t x;
  int32_t y;
  int32_t length;
};

// Black dots as a 1-bit bitmap: 64 pixels a word, the first pixel in the lowest bit (so a row's
// bytes are, on a little-endian machine, LSB-first 1-bit pixels). Bits right of `width` are
// clear.
struct DotBitmap {
  const uint64_t* first_word;  // row 0's first word
  size_t words_per_row;        // the distance between rows, in words
  int32_t x;                   // the device pixel of row 0's first bit
  int32_t y;
  int32_t width;
  int32_t height;
  int64_t dots;  // set bits

  const uint64_t* Row(int32_t row) const {
    return first_word + static_cast<size_t>(row) * words_per_row;
  }
  // The set bits as runs, row by row, left to right, in device pixels.
  std::vector<DotRun> Runs() const;
};

// Coloured dots of many colours as one raster of their bounding box: a pixel is 0x00BBGGRR | its
// mark in the highest byte (0xFF a dot, 0 no dot).
struct DotRaster {
  static constexpr uint32_t kDot = 0xFF000000u;
  const uint32_t* first_pixel;  // row 0's first pixel
  size_t pixels_per_row;        // the distance between rows, in pixels
  int32_t x;                    // the device pixel of row 0's first pixel
  int32_t y;
  int32_t width;
  int32_t height;
};

// Consecutive dots of a row as runs; the dots come row by row, left to right.
std::vector<DotRun> RunsOf(std::span<const DotPoint> dots);

// What a backend does with the dots of a layer. No pixel comes twice, in one call or across them.
class DotSink {
 public:
  virtual ~DotSink() = default;
  // Every black dot, in one bitmap; not called when there is none.
  virtual void BlackDots(const DotBitmap& bitmap) = 0;
  // Every dot of one other colour (0x00BBGGRR, red in the lowest byte), row by row, left to right.
  virtual void ColourDots(uint32_t rgb, std::span<const DotPoint> dots) = 0;
  // The coloured dots when they have more colours than kMaxColourLists: one mark per colour would
  // cost the backend time and memory per colour (a million colours took 16 s and 1.6 GB), so
  // they come as one raster instead. By default each colour's dots go to ColourDots.
  virtual void ColourRaster(const DotRaster& raster);
};

class DotLayer {
 public:
  // The printer's device pixels x_begin <= x < x_end, y_begin <= y < y_end that lie on the page,
  // wholly or in part. A dot elsewhere is never seen and is dropped.
  DotLayer(int32_t x_begin, int32_t y_begin, int32_t x_end, int32_t y_end);

  // One device pixel in a colour (0x00BBGGRR, red in the lowest byte); the later dot on a pixel
  // wins. Raises RuntimeError when the page is too large to keep its black dots.
  void Set(int32_t x, int32_t y, uint32_t rgb);

  bool empty() const { return black_count_ == 0 && coloured_.empty(); }
  // So many coloured dots wait that they should be drained now (draining them earlier changes
  // nothing on the page).
  bool full() const { return coloured_.size() >= kMaxColouredDots; }

  // Hands every dot to the sink, the black ones first; then the layer is empty again. A raster of
  // coloured dots goes in strips of whole rows of at most `max_raster_pixels` each.
  void Drain(DotSink& sink, int64_t max_raster_pixels = kMaxRasterPixels);

  // At most this many coloured dots wait (12 bytes each): as many as the largest form data file
  // read holds, so that its dots are drained, and painted, once.
  static constexpr size_t kMaxColouredDots = size_t{1} << 23;
  // Up to this many colours, each colour's dots go to the sink on their own; beyond it, as a
  // raster of the coloured dots' box, in strips of at most kMaxRasterPixels (64 MB at 4 bytes a
  // pixel, and as much again in the backend): a fine printer's page is never one huge picture.
  static constexpr size_t kMaxColourLists = 256;
  static constexpr int64_t kMaxRasterPixels = int64_t{16} << 20;

 private:
  struct Dot {
    int32_t x;  // from x_begin
    int32_t y;  // from y_begin
    uint32_t rgb;
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
  void DrainBlack(DotSink& sink);
  // Hands the coloured dots over as one raster when they have many colours; false when they go
  // colour by colour.
  bool DrainAsRaster(const std::vector<Dot>& last, DotSink& sink, int64_t max_raster_pixels);

  int32_t x_begin_;
  int32_t y_begin_;
  int32_t width_;
  int32_t height_;
  size_t words_per_row_;
  // The black dots, one bit a pixel of the page; made at the first black dot, zero again after
  // each drain.
  std::unique_ptr<uint64_t, FreeDeleter> bits_;
  int64_t black_count_ = 0;  // black dots set since the last drain (a pixel may count twice)
  Box black_box_;
  std::vector<Dot> coloured_;
};

}  // namespace tolv

#endif  // TOLV_SURFACE_DOT_LAYER_H_
