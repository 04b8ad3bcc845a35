#include "platform/win32/gdi_printer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "destination/file_printer.h"
#include "platform/win32/system/atomic_file.h"
#include "platform/win32/system/program_dir.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

constexpr char kKeptExtension[] = "EMF";

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

std::string ErrorText(const char* call) {
  return std::string(call) + " failed (error " + std::to_string(GetLastError()) + ")";
}

std::string Quoted(const std::wstring& name) {
  std::string quoted = "\"";
  return quoted.append(WideToUtf8(name)).append("\"");
}

// The page in 0.01 mm of the reference device, so that playing it into the printable area maps
// device pixel to device pixel: playback converts the frame back through the same HORZSIZE and
// HORZRES that the recording DC writes into the metafile's header.
RECT Frame(HDC reference, const PrinterDevice& device) {
  HDC dc = reference != nullptr ? reference : GetDC(nullptr);
  const double mm_x = GetDeviceCaps(dc, HORZSIZE);
  const double mm_y = GetDeviceCaps(dc, VERTSIZE);
  const double px_x = GetDeviceCaps(dc, HORZRES);
  const double px_y = GetDeviceCaps(dc, VERTRES);
  if (reference == nullptr) ReleaseDC(nullptr, dc);
  RECT frame{0, 0, 0, 0};
  if (px_x > 0 && px_y > 0) {
    frame.right = static_cast<LONG>(std::lround(device.printable_width_px * mm_x * 100 / px_x));
    frame.bottom = static_cast<LONG>(std::lround(device.printable_height_px * mm_y * 100 / px_y));
  }
  return frame;
}

// The kept page files: ZOBAX.EMF, then ZOBAX-2.EMF, ZOBAX-3.EMF, ...
std::string KeptName(size_t page) {
  std::string name = "ZOBAX";
  if (page > 0) name.append("-").append(std::to_string(page + 1));
  return name.append(".EMF");
}

// Beside ZOBAX.EMF, wherever the shared policy puts it.
std::string JoinPath(const std::string& dir, const std::string& name) {
  const std::string first = KeptDocumentPath(dir, kKeptExtension);
  return first.substr(0, first.size() - std::string_view("ZOBAX.EMF").size()) + name;
}

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

GdiTarget FindDefaultPrinter() {
  GdiTarget target;
  target.device = FilePrinterDevice();
  DWORD needed = 0;
  GetDefaultPrinterW(nullptr, &needed);
  std::wstring name(needed, L'\0');
  if (needed == 0 || !GetDefaultPrinterW(name.data(), &needed)) {
    target.kind = GdiTarget::Kind::kFile;  // no default printer: the file printer
    return target;
  }
  name.resize(wcsnlen(name.c_str(), name.size()));
  target.printer_name = name;
  HDC dc = CreateDCW(L"WINSPOOL", name.c_str(), nullptr, nullptr);
  if (dc == nullptr) {
    target.kind = GdiTarget::Kind::kFailed;
    target.cause =
        "the default printer " + Quoted(name) + " cannot be opened: " + ErrorText("CreateDCW");
    return target;
  }
  PrinterDevice device;
  device.dpi_x = GetDeviceCaps(dc, LOGPIXELSX);
  device.dpi_y = GetDeviceCaps(dc, LOGPIXELSY);
  const int physical_width = GetDeviceCaps(dc, PHYSICALWIDTH);
  const int physical_height = GetDeviceCaps(dc, PHYSICALHEIGHT);
  device.printable_left_px = GetDeviceCaps(dc, PHYSICALOFFSETX);
  device.printable_top_px = GetDeviceCaps(dc, PHYSICALOFFSETY);
  device.printable_width_px = GetDeviceCaps(dc, HORZRES);
  device.printable_height_px = GetDeviceCaps(dc, VERTRES);
  device.media.clear();  // the printer's own paper
  if (device.dpi_x <= 0 || device.dpi_y <= 0 || physical_width <= 0 || physical_height <= 0 ||
      device.printable_width_px <= 0 || device.printable_height_px <= 0) {
    DeleteDC(dc);
    target.kind = GdiTarget::Kind::kFailed;
    target.cause = "the default printer " + Quoted(name) + " cannot be measured";
    return target;
  }
  device.page_width_pt = physical_width * 72.0 / device.dpi_x;
  device.page_height_pt = physical_height * 72.0 / device.dpi_y;
  target.kind = GdiTarget::Kind::kPrinter;
  target.dc = dc;
  target.device = device;
  return target;
}

GdiPrinter::GdiPrinter(GdiTarget target, std::string program_dir)
    : DocumentPrinter(target.kind == GdiTarget::Kind::kNone
                          ? std::nullopt
                          : std::optional<PrinterDevice>(target.device)),
      target_(std::move(target)),
      program_dir_(std::move(program_dir)),
      reference_(target_.kind == GdiTarget::Kind::kPrinter ? target_.dc
                                                           : CreateCompatibleDC(nullptr)),
      fonts_(target_.device.dpi_y, DEFAULT_QUALITY),
      frame_(Frame(target_.kind == GdiTarget::Kind::kPrinter ? target_.dc : nullptr,
                   target_.device)) {}

GdiPrinter::~GdiPrinter() {
  DropPages();
  for (auto& [rgb, brush] : brushes_) DeleteObject(brush);
  if (reference_ != nullptr && reference_ != target_.dc) DeleteDC(reference_);
  if (target_.dc != nullptr) DeleteDC(target_.dc);
}

HDC GdiPrinter::Page() {
  if (page_ != nullptr) return page_;
  // The file printer records against the screen (nullptr), its frame computed for that.
  page_ = CreateEnhMetaFileW(target_.kind == GdiTarget::Kind::kPrinter ? target_.dc : nullptr,
                             nullptr, &frame_, L"tolv\0page\0");
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
  broken_.clear();
}

void GdiPrinter::DrawingFailed(const char* call) {
  const std::string cause = ErrorText(call);
  if (broken_.empty()) broken_ = cause;
  throw RuntimeError(ErrorKind::kDeviceError, cause);
}

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
  fonts_.Draw(dc, left, top, text, font);
  // Glyphs may reach beyond their advances (italics, overhangs): a line's height either side.
  const int reach = static_cast<int>(std::ceil(extent.height));
  Marked(left - reach, top - reach, left + static_cast<int>(std::ceil(extent.width)) + reach,
         top + 2 * reach);
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
      StretchDIBits(Page(), x, y, width, height, 0, 0, width, height, bits,
                    reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, SRCCOPY);
  if (result == 0 || result == static_cast<int>(GDI_ERROR)) DrawingFailed("StretchDIBits");
  Marked(x, y, x + width, y + height);
}

void GdiPrinter::Fill(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb) {
  HDC dc = Page();
  SelectBrush(rgb & 0xFFFFFFu);
  if (!PatBlt(dc, x, y, width, height, PATCOPY)) DrawingFailed("PatBlt");
  Marked(x, y, x + width, y + height);
}

void GdiPrinter::OnDrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int16_t style) {
  Page();
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
  const int32_t x = width < 0 ? rect.left - 1 : rect.left;
  const int32_t y = height < 0 ? rect.top - 1 : rect.top;
  const int32_t w = picture.width();
  const int32_t h = picture.height();
  if (w <= 0 || h <= 0 || width == 0 || height == 0) return;
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
  Marked(x, y, x + width, y + height);
}

void GdiPrinter::OnEndPage() {
  if (page_ == nullptr) return;
  HENHMETAFILE page = CloseEnhMetaFile(page_);
  page_ = nullptr;
  if (page == nullptr) throw RuntimeError(ErrorKind::kDeviceError, ErrorText("CloseEnhMetaFile"));
  pages_.push_back(page);
}

HandOverResult GdiPrinter::OnEndDocument() {
  try {
    OnEndPage();
  } catch (const RuntimeError& error) {
    return Keep(error.what());
  }
  if (pages_.empty()) return {};
  if (!broken_.empty()) return Keep("the page could not be drawn whole: " + broken_);
  switch (target_.kind) {
    case GdiTarget::Kind::kPrinter:
      return Play();
    case GdiTarget::Kind::kFailed:
      return Keep(target_.cause);
    case GdiTarget::Kind::kFile:
    case GdiTarget::Kind::kNone:
      break;
  }
  return Keep("");  // the file printer
}

HandOverResult GdiPrinter::Play() {
  HDC dc = target_.dc;
  const std::string printer = "the printer " + Quoted(target_.printer_name);
  DOCINFOW info{};
  info.cbSize = sizeof info;
  info.lpszDocName = L"tolv";
  if (StartDocW(dc, &info) <= 0)
    return Keep(printer + " refused the document: " + ErrorText("StartDocW"));
  const RECT area{0, 0, static_cast<LONG>(target_.device.printable_width_px),
                  static_cast<LONG>(target_.device.printable_height_px)};
  for (HENHMETAFILE page : pages_) {
    std::string failed;
    if (StartPage(dc) <= 0) {
      failed = ErrorText("StartPage");
    } else if (!PlayEnhMetaFile(dc, page, &area)) {
      failed = ErrorText("PlayEnhMetaFile");
    } else if (::EndPage(dc) <= 0) {
      failed = ErrorText("EndPage");
    }
    if (!failed.empty()) {
      AbortDoc(dc);
      return Keep(printer + " did not take the document: " + failed);
    }
  }
  if (::EndDoc(dc) <= 0) {
    const std::string failed = ErrorText("EndDoc");
    AbortDoc(dc);
    return Keep(printer + " did not take the document: " + failed);
  }
  return {};
}

// The first page goes through the file printer's shared policy as ZOBAX.EMF (its name, its
// messages, the whole-file write), and each further page beside it as ZOBAX-2.EMF, ZOBAX-3.EMF,
// ...: a metafile holds one page.
HandOverResult GdiPrinter::Keep(const std::string& cause) {
  const std::vector<std::string> pages = PageBytes();
  if (pages.empty()) return HandOverResult{false, OneLine(cause)};
  HandOverResult result;
  if (cause.empty()) {
    result = FileDestination(program_dir_, &WriteFileAtomically)
                 .HandOver(FinishedDocument{pages[0], kKeptExtension});
  } else {
    result = KeepBesideProgram(&WriteFileAtomically, program_dir_,
                               FinishedDocument{pages[0], kKeptExtension}, cause);
  }
  for (size_t k = 1; k < pages.size(); ++k) {
    std::string error;
    if (!WriteFileAtomically(JoinPath(program_dir_, KeptName(k)), pages[k], &error)) {
      result.ok = false;
      result.message = OneLine(result.message.empty() ? "the document could not be kept: " + error
                                                      : result.message + "; " + error);
      break;
    }
  }
  if (result.ok || !cause.empty()) {
    if (pages.size() > 1 && !cause.empty()) {
      result.message += ", its further pages as ZOBAX-2.EMF to " + KeptName(pages.size() - 1);
    }
    // Pages an earlier, longer document left behind are not part of this one.
    for (size_t k = pages.size();; ++k) {
      const std::wstring stale = Utf8ToWide(JoinPath(program_dir_, KeptName(k)));
      if (!DeleteFileW(stale.c_str())) break;
    }
  }
  return result;
}

std::vector<std::string> GdiPrinter::PageBytes() const {
  std::vector<std::string> pages;
  for (HENHMETAFILE page : pages_) {
    std::string bytes(GetEnhMetaFileBits(page, 0, nullptr), '\0');
    GetEnhMetaFileBits(page, static_cast<UINT>(bytes.size()),
                       reinterpret_cast<BYTE*>(bytes.data()));
    pages.push_back(std::move(bytes));
  }
  return pages;
}

}  // namespace tolv
