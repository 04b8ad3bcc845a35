#include "platform/win32/gdi_printer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "platform/win32/emf_document.h"
#include "platform/win32/system/program_dir.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

// Brushes kept for reuse: each is a GDI object of the process (at most 10,000 on Windows) and a
// handle in every page's metafile.
constexpr size_t kMaxBrushes = 256;
// A bitmap record in a metafile (EMR_STRETCHDIBITS and its BITMAPINFOHEADER), in bytes.
constexpr int64_t kBitmapRecordBytes = 120;

// A dot raster's pixel (0x00BBGGRR) as a 32-bit DIB's (0x00RRGGBB); unmarked pixels white.
uint32_t DibPixel(uint32_t p) {
  if ((p & DotRaster::kDot) == 0) return 0x00FFFFFFu;
  return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
}

bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

std::string ErrorText(const char* call) { return FailedCall(call); }

bool BlackAndWhite(const Picture& picture) {
  for (uint32_t p : picture.pixels()) {
    if (p != 0xFF000000u && p != 0xFFFFFFFFu) return false;
  }
  return true;
}

// Whether the pixel at index k along a line lies on a dash of the pattern.
bool DashOn(const std::vector<int32_t>& pattern, int32_t period, int64_t k) {
  int64_t position = k % period;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (position < pattern[i]) return i % 2 == 0;
    position -= pattern[i];
  }
  return false;
}

// A picture larger than its place on the page, sampled down to that place: each device pixel
// takes the source pixel under its centre, as the driver's own COLORONCOLOR stretch does. The
// metafile and the spool file then hold the page's pixels rather than the picture's (a
// 64-million-pixel form picture was 256 MB in each, for every copy on the sheet).
PicturePtr SampledToPlace(const PicturePtr& picture, int32_t place_width, int32_t place_height) {
  const int32_t w = picture->width();
  const int32_t h = picture->height();
  const int32_t to_w = std::min(w, place_width);
  const int32_t to_h = std::min(h, place_height);
  if (to_w <= 0 || to_h <= 0 || (to_w == w && to_h == h)) return picture;
  std::vector<uint32_t> pixels(static_cast<size_t>(to_w) * to_h);
  std::vector<int32_t> column(to_w);
  for (int32_t x = 0; x < to_w; ++x) {
    column[x] = static_cast<int32_t>((int64_t{x} * 2 + 1) * w / (int64_t{to_w} * 2));
  }
  for (int32_t y = 0; y < to_h; ++y) {
    const auto from = static_cast<int32_t>((int64_t{y} * 2 + 1) * h / (int64_t{to_h} * 2));
    uint32_t* out = pixels.data() + static_cast<size_t>(y) * to_w;
    for (int32_t x = 0; x < to_w; ++x) out[x] = picture->pixel(column[x], from);
  }
  return std::make_shared<const Picture>(to_w, to_h, std::move(pixels));
}

}  // namespace

GdiPrinter::GdiPrinter(std::unique_ptr<Destination> destination)
    : DocumentPrinter(destination ? std::optional<PrinterDevice>(destination->Device())
                                  : std::nullopt),
      destination_(std::move(destination)),
      fonts_(device().dpi_y, DEFAULT_QUALITY) {
  if (destination_ && !destination_->Queue().empty()) {
    // Text is measured on the printer it prints on (its fonts and their whole-pixel advances).
    reference_ =
        CreateDCW(L"WINSPOOL", Utf8ToWide(destination_->Queue()).c_str(), nullptr, nullptr);
  }
  if (reference_ == nullptr) reference_ = CreateCompatibleDC(nullptr);
  const PrinterDevice& d = device();
  offset_x_ = static_cast<int>(std::lround(d.printable_left_px));
  offset_y_ = static_cast<int>(std::lround(d.printable_top_px));
  page_px_ = SIZE{static_cast<LONG>(std::lround(d.page_width_pt / 72.0 * d.dpi_x)),
                  static_cast<LONG>(std::lround(d.page_height_pt / 72.0 * d.dpi_y))};
  page_mm_ = SIZE{static_cast<LONG>(std::lround(d.page_width_pt / 72.0 * 25.4)),
                  static_cast<LONG>(std::lround(d.page_height_pt / 72.0 * 25.4))};
  frame_ = RECT{0, 0, page_mm_.cx * 100, page_mm_.cy * 100};
}

GdiPrinter::~GdiPrinter() {
  DropPages();
  for (auto& [rgb, brush] : brushes_) DeleteObject(brush);
  if (reference_ != nullptr) DeleteDC(reference_);
}

HDC GdiPrinter::Page() {
  if (page_ != nullptr) return page_;
  // The header states the page when the document ends (emf_document.h), whatever the reference.
  page_ = CreateEnhMetaFileW(reference_, nullptr, &frame_, L"tolv\0page\0");
  if (page_ == nullptr) {
    throw RuntimeError(ErrorKind::kDeviceError, ErrorText("CreateEnhMetaFileW"));
  }
  selected_brush_ = 0xFFFFFFFFu;
  marked_ = RECT{0, 0, 0, 0};
  SetStretchBltMode(page_, COLORONCOLOR);
  return page_;
}

void GdiPrinter::SelectBrush(uint32_t rgb) {
  if (selected_brush_ == rgb) return;
  auto found = brushes_.find(rgb);
  if (found == brushes_.end()) {
    if (brushes_.size() >= kMaxBrushes) {
      SelectObject(page_, GetStockObject(BLACK_BRUSH));
      for (auto& [colour, brush] : brushes_) DeleteObject(brush);
      brushes_.clear();
    }
    HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(rgb));
    if (brush == nullptr) DrawingFailed("CreateSolidBrush");
    found = brushes_.emplace(rgb, brush).first;
  }
  SelectObject(page_, found->second);
  selected_brush_ = rgb;
}

void GdiPrinter::DropPages() {
  if (page_ != nullptr) DeleteEnhMetaFile(CloseEnhMetaFile(page_));
  page_ = nullptr;
  for (HENHMETAFILE page : pages_) DeleteEnhMetaFile(page);
  pages_.clear();
}

void GdiPrinter::OnOpenDocument() {
  DropPages();
  marks_ = {};
  broken_.clear();
}

void GdiPrinter::DrawingFailed(const char* call) {
  const std::string cause = ErrorText(call);
  if (broken_.empty()) broken_ = cause;
  throw RuntimeError(ErrorKind::kDeviceError, cause);
}

// In the printable area's pixels, as the drawing calls are given (before the page's offset).
void GdiPrinter::Marked(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  if (x0 == x1 || y0 == y1) return;
  if (marked_.left == marked_.right) {
    marked_ = RECT{x0, y0, x1, y1};
    return;
  }
  marked_ = RECT{std::min<LONG>(marked_.left, x0), std::min<LONG>(marked_.top, y0),
                 std::max<LONG>(marked_.right, x1), std::max<LONG>(marked_.bottom, y1)};
}

void GdiPrinter::OnBeginPage() { Page(); }

TextExtent GdiPrinter::OnMeasureText(const std::u32string& text, const FontSpec& font) {
  if (reference_ == nullptr) throw RuntimeError(ErrorKind::kDeviceError, "no device context");
  return fonts_.Measure(reference_, text, font);
}

TextExtent GdiPrinter::OnDrawText(double x, double y, const std::u32string& text,
                                  const FontSpec& font) {
  // GDI places text on whole device pixels: the nearest one, halves to even, as a dot's.
  HDC dc = Page();
  const TextExtent extent = fonts_.Measure(dc, text, font);
  const int left = static_cast<int>(std::nearbyint(x));
  const int top = static_cast<int>(std::nearbyint(y));
  fonts_.Draw(dc, left + offset_x_, top + offset_y_, text, font);
  // Glyphs may reach beyond their advances (italics, overhangs): a line's height either side.
  const int reach = static_cast<int>(std::ceil(extent.height));
  Marked(left - reach, top - reach, left + static_cast<int>(std::ceil(extent.width)) + reach,
         top + 2 * reach);
  if (text.find_first_not_of(U' ') != std::u32string::npos) {
    marks_.Add(x, y, x + extent.width, y + extent.height);
  }
  return extent;
}

// Runs of the same place and length in neighbouring rows become one rectangle: a form's lines
// drawn dot by dot then cost one PatBlt each rather than one a row, which keeps the spool file
// (and the PostScript of a page of 150,000 dots) small. The dots' pixels stay exactly the same.
void GdiPrinter::FillRuns(const std::vector<DotRun>& runs, uint32_t rgb) {
  struct Open {
    int32_t y0;
    int32_t y1;
  };
  std::map<std::pair<int32_t, int32_t>, Open> open;  // by (x, length)
  int32_t row = INT32_MIN;
  auto close_stale = [&](int32_t y) {
    for (auto it = open.begin(); it != open.end();) {
      if (it->second.y1 < y - 1) {
        Fill(it->first.first, it->second.y0, it->first.second, it->second.y1 - it->second.y0 + 1,
             rgb);
        it = open.erase(it);
      } else {
        ++it;
      }
    }
  };
  for (const DotRun& run : runs) {
    if (run.y != row) {
      row = run.y;
      close_stale(row);
    }
    auto [it, added] = open.try_emplace({run.x, run.length}, Open{run.y, run.y});
    if (!added) it->second.y1 = run.y;
  }
  close_stale(INT32_MAX);
}

void GdiPrinter::BlackDots(const DotBitmap& bitmap) {
  std::vector<DotRun> runs = bitmap.Runs();
  black_runs_.insert(black_runs_.end(), runs.begin(), runs.end());
}

void GdiPrinter::ColourDots(uint32_t rgb, std::span<const DotPoint> dots) {
  FillRuns(RunsOf(dots), rgb);
}

void GdiPrinter::OnDrawDots(DotLayer& dots) {
  Page();
  under_dots_ = marked_;
  black_runs_.clear();
  dots.Drain(*this);
  FillRuns(black_runs_, 0);
  black_runs_.clear();
}

// A strip of many colours as one bitmap where nothing lies under it yet and the bitmap is the
// smaller record; else each row's runs of dots as bitmaps of their own, which leave the pixels
// between them as they were.
void GdiPrinter::ColourRaster(const DotRaster& raster) {
  Page();
  int64_t dots = 0;
  int64_t runs = 0;
  for (int32_t row = 0; row < raster.height; ++row) {
    const uint32_t* p = raster.first_pixel + static_cast<size_t>(row) * raster.pixels_per_row;
    for (int32_t col = 0; col < raster.width; ++col) {
      if ((p[col] & DotRaster::kDot) == 0) continue;
      ++dots;
      runs += col == 0 || (p[col - 1] & DotRaster::kDot) == 0;
    }
  }
  const RECT box{raster.x, raster.y, raster.x + raster.width, raster.y + raster.height};
  const int64_t pixels = int64_t{raster.width} * raster.height;
  std::vector<uint32_t> bits;
  if (!Overlap(box, under_dots_) && pixels * 4 <= runs * kBitmapRecordBytes + dots * 4) {
    bits.resize(static_cast<size_t>(pixels));
    for (int32_t row = 0; row < raster.height; ++row) {
      const uint32_t* p = raster.first_pixel + static_cast<size_t>(row) * raster.pixels_per_row;
      uint32_t* out = bits.data() + static_cast<size_t>(row) * raster.width;
      for (int32_t col = 0; col < raster.width; ++col) out[col] = DibPixel(p[col]);
    }
    PaintBits(raster.x, raster.y, raster.width, raster.height, bits.data());
    return;
  }
  for (int32_t row = 0; row < raster.height; ++row) {
    const uint32_t* p = raster.first_pixel + static_cast<size_t>(row) * raster.pixels_per_row;
    for (int32_t col = 0; col < raster.width;) {
      if ((p[col] & DotRaster::kDot) == 0) {
        ++col;
        continue;
      }
      bits.clear();
      const int32_t first = col;
      for (; col < raster.width && (p[col] & DotRaster::kDot) != 0; ++col) {
        bits.push_back(DibPixel(p[col]));
      }
      PaintBits(raster.x + first, raster.y + row, col - first, 1, bits.data());
    }
  }
}

void GdiPrinter::PaintBits(int32_t x, int32_t y, int32_t width, int32_t height,
                           const uint32_t* bits) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;  // top-down
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  const int result =
      StretchDIBits(Page(), x + offset_x_, y + offset_y_, width, height, 0, 0, width, height, bits,
                    reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, SRCCOPY);
  if (result == 0 || result == static_cast<int>(GDI_ERROR)) DrawingFailed("StretchDIBits");
  Marked(x, y, x + width, y + height);
}

void GdiPrinter::Fill(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb) {
  HDC dc = Page();
  SelectBrush(rgb & 0xFFFFFFu);
  if (!PatBlt(dc, x + offset_x_, y + offset_y_, width, height, PATCOPY)) DrawingFailed("PatBlt");
  Marked(x, y, x + width, y + height);
}

void GdiPrinter::OnDrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int16_t style) {
  Page();
  marks_.Add(x1, y1, static_cast<double>(x2) + 1, static_cast<double>(y2) + 1);
  const std::vector<int32_t> pattern = DashPattern(style, device());
  int32_t period = 0;
  for (int32_t length : pattern) period += length;
  // The pixels from the first end to the last (Bresenham along the longer axis), each on or off by
  // its index along the line; neighbouring lit pixels of a row or column become one rectangle.
  const int64_t dx = std::llabs(int64_t{x2} - x1);
  const int64_t dy = std::llabs(int64_t{y2} - y1);
  const int32_t sx = x2 >= x1 ? 1 : -1;
  const int32_t sy = y2 >= y1 ? 1 : -1;
  const int64_t n = std::max(dx, dy) + 1;
  int32_t run_x = 0, run_y = 0, run_length = 0;
  bool run_horizontal = dx >= dy;
  auto flush = [&] {
    if (run_length == 0) return;
    if (run_horizontal) {
      Fill(sx > 0 ? run_x : run_x - run_length + 1, run_y, run_length, 1, 0);
    } else {
      Fill(run_x, sy > 0 ? run_y : run_y - run_length + 1, 1, run_length, 0);
    }
    run_length = 0;
  };
  int64_t error = dx - dy;
  int32_t x = x1, y = y1;
  for (int64_t k = 0; k < n; ++k) {
    const bool on = pattern.empty() || DashOn(pattern, period, k);
    if (on) {
      const bool continues =
          run_length > 0 && (run_horizontal ? (y == run_y && x == run_x + sx * run_length)
                                            : (x == run_x && y == run_y + sy * run_length));
      if (!continues) {
        flush();
        run_x = x;
        run_y = y;
      }
      ++run_length;
    } else {
      flush();
    }
    const int64_t twice = 2 * error;
    if (twice > -dy) {
      error -= dy;
      x += sx;
    }
    if (twice < dx) {
      error += dx;
      y += sy;
    }
  }
  flush();
}

void GdiPrinter::OnDrawPicture(const PicturePtr& shown, const DeviceRect& rect) {
  HDC dc = Page();
  const PicturePtr sampled =
      SampledToPlace(shown, std::abs(rect.right - rect.left), std::abs(rect.bottom - rect.top));
  const tolv::Picture& picture = *sampled;
  // GDI mirrors a negative size about the pixel it starts from, not about its edge: a picture
  // from edge 500 back to edge 400 covers pixels 400 to 499, so it starts at pixel 499.
  const int32_t width = rect.right - rect.left;
  const int32_t height = rect.bottom - rect.top;
  const int32_t x = (width < 0 ? rect.left - 1 : rect.left) + offset_x_;
  const int32_t y = (height < 0 ? rect.top - 1 : rect.top) + offset_y_;
  const int32_t w = picture.width();
  const int32_t h = picture.height();
  if (w <= 0 || h <= 0 || width == 0 || height == 0) return;
  marks_.Add(rect.left, rect.top, rect.right, rect.bottom);
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
  } info{};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = w;
  info.header.biPlanes = 1;
  info.header.biCompression = BI_RGB;
  std::vector<uint8_t> bits;
  const void* data = picture.pixels().data();
  if (BlackAndWhite(picture)) {
    // Line art: 1 bit a pixel is 32 times smaller in the metafile and the spool file. With
    // biClrUsed 0 wine's metafile recorder drops the colour table and the picture plays back black.
    info.header.biBitCount = 1;
    info.header.biClrUsed = 2;
    info.header.biHeight = h;  // bottom-up
    info.colours[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    const size_t stride = ((static_cast<size_t>(w) + 31) / 32) * 4;
    bits.assign(stride * h, 0);
    for (int32_t row = 0; row < h; ++row) {
      uint8_t* out = bits.data() + stride * (h - 1 - row);
      const uint32_t* in = picture.pixels().data() + static_cast<size_t>(row) * w;
      for (int32_t col = 0; col < w; ++col) {
        if (in[col] == 0xFFFFFFFFu) out[col >> 3] |= static_cast<uint8_t>(0x80 >> (col & 7));
      }
    }
    data = bits.data();
  } else {
    // 32 bits a pixel top-down is the picture's own memory.
    info.header.biBitCount = 32;
    info.header.biHeight = -h;
  }
  const int result =
      StretchDIBits(dc, x, y, width, height, 0, 0, w, h, data,
                    reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
  if (result == 0 || result == static_cast<int>(GDI_ERROR)) DrawingFailed("StretchDIBits");
  Marked(x - offset_x_, y - offset_y_, x - offset_x_ + width, y - offset_y_ + height);
}

void GdiPrinter::OnEndPage() {
  if (page_ == nullptr) return;
  HENHMETAFILE page = CloseEnhMetaFile(page_);
  page_ = nullptr;
  if (page == nullptr) throw RuntimeError(ErrorKind::kDeviceError, ErrorText("CloseEnhMetaFile"));
  pages_.push_back(page);
}

HandOverResult GdiPrinter::OnEndDocument() {
  std::string failed;
  try {
    OnEndPage();
  } catch (const RuntimeError& error) {
    failed = error.what();
  }
  if (pages_.empty()) return failed.empty() ? HandOverResult{} : HandOverResult{false, failed};
  const std::string bytes = Document();
  DropPages();
  const FinishedDocument document{bytes, "EMF", marks_};
  marks_ = {};
  if (failed.empty() && !broken_.empty()) failed = "the page could not be drawn whole: " + broken_;
  if (!failed.empty()) return destination_->Keep(document, failed);
  return destination_->HandOver(document);
}

std::string GdiPrinter::Document() const {
  std::string document;
  for (HENHMETAFILE page : pages_) {
    std::string bytes(GetEnhMetaFileBits(page, 0, nullptr), '\0');
    GetEnhMetaFileBits(page, static_cast<UINT>(bytes.size()),
                       reinterpret_cast<BYTE*>(bytes.data()));
    StatePageSize(bytes, page_px_, page_mm_);
    document += bytes;
  }
  return document;
}

}  // namespace tolv
