#include "platform/cairo/cairo_printer.h"

#include <cairo-pdf.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/cairo/pdf_finish.h"
#include "platform/runtime.h"

namespace tolv {
namespace {

// Device coordinates beyond this many pixels (about 350 m at 600 dpi) are refused as an overflow:
// Cairo keeps path coordinates in 24.8 fixed point and would wrap them silently.
constexpr double kMaxDeviceCoordinate = 8388607.0;

double CheckedCoordinate(double px) {
  if (!std::isfinite(px) || std::fabs(px) > kMaxDeviceCoordinate) {
    throw RuntimeError(ErrorKind::kOverflow, "coordinate out of range");
  }
  return px;
}

// The device pixel of a position: the nearest, halves to even, as ToInt32 rounds. std::lrint
// rounds so in the default rounding mode in one instruction, where ToInt32's long double rounding
// saves and restores the floating-point environment: that was half the time of setting a million
// dots. Positions beyond the device's range go through ToInt32, which raises for them.
int32_t DevicePixel(double px) {
  if (std::fabs(px) <= kMaxDeviceCoordinate) return static_cast<int32_t>(std::lrint(px));
  return ToInt32(px);
}

// Cairo's PDF backend keeps coordinates in 1/256 of a point, so a pixel edge lands up to half of
// that beside its place. A rasteriser that paints every pixel a shape touches would then paint the
// neighbour too: every dot, line and picture is drawn this much inside its pixel edges, which
// keeps it on its own pixels whichever rule the printer follows.
double EdgeInset(double dpi) { return dpi / (72.0 * 256.0); }

bool UsableDevice(const PrinterDevice& d) {
  auto positive = [](double v) { return std::isfinite(v) && v > 0; };
  auto non_negative = [](double v) { return std::isfinite(v) && v >= 0; };
  return positive(d.dpi_x) && positive(d.dpi_y) && positive(d.page_width_pt) &&
         positive(d.page_height_pt) && non_negative(d.printable_width_px) &&
         non_negative(d.printable_height_px) && std::isfinite(d.printable_left_px) &&
         std::isfinite(d.printable_top_px);
}

// The dash lengths of a draw style, in units of 1/150 inch (4 device pixels at 600 dpi): short
// enough that a dotted cut line reads as dots, long enough that every printer resolves them.
// Empty: solid. Style 5 draws nothing and is handled by the caller.
std::vector<double> DashUnits(int16_t style) {
  switch (style) {
    case 1:
      return {3, 1};  // dash
    case 2:
      return {1, 1};  // dot
    case 3:
      return {3, 1, 1, 1};  // dash-dot
    case 4:
      return {3, 1, 1, 1, 1, 1};  // dash-dot-dot
    default:
      return {};
  }
}

// The device pixels that lie on the page, wholly or in part, in the printer's coordinates (from
// the printable area's corner): the only place where a dot can be seen.
DotLayer PageDotLayer(const PrinterDevice& d) {
  auto pixel = [](double v) {
    return static_cast<int32_t>(std::clamp(v, -kMaxDeviceCoordinate - 1, kMaxDeviceCoordinate + 1));
  };
  if (!UsableDevice(d)) return DotLayer(0, 0, 0, 0);
  const double page_width_px = d.page_width_pt * d.dpi_x / 72.0;
  const double page_height_px = d.page_height_pt * d.dpi_y / 72.0;
  return DotLayer(pixel(std::floor(-d.printable_left_px)), pixel(std::floor(-d.printable_top_px)),
                  pixel(std::ceil(page_width_px - d.printable_left_px)),
                  pixel(std::ceil(page_height_px - d.printable_top_px)));
}

// A hash of every 61st pixel of a picture and its size: quick to make, and different for two
// pictures that differ in most ways; equal hashes still need equal pixels.
uint64_t SampleHash(const Picture& picture) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ static_cast<uint32_t>(picture.width());
  h = (h ^ static_cast<uint32_t>(picture.height())) * 0x100000001B3ull;
  const std::vector<uint32_t>& pixels = picture.pixels();
  for (size_t i = 0; i < pixels.size(); i += 61) h = (h ^ pixels[i]) * 0x100000001B3ull;
  return h;
}

}  // namespace

CairoPrinter::CairoPrinter(std::unique_ptr<Destination> destination)
    : destination_(std::move(destination)),
      device_(destination_ ? destination_->Device() : PrinterDevice{}),
      scale_(device_.dpi_x, device_.dpi_y, device_.printable_width_px, device_.printable_height_px),
      text_(device_.dpi_x, device_.dpi_y),
      dots_(PageDotLayer(device_)) {
  if (destination_ && !UsableDevice(device_)) {
    destination_.reset();
    first_failure_ = HandOverResult{false,
                                    "the printer reported an unusable page or "
                                    "resolution; nothing was printed"};
  }
}

CairoPrinter::~CairoPrinter() {
  // A document never ended is dropped, not handed over; Cairo may still read the pictures' pixels
  // while it lets go of the surface, so they go last.
  cr_.reset();
  surface_.reset();
  pictures_.clear();
}

void CairoPrinter::Require() const {
  if (!destination_) throw RuntimeError(ErrorKind::kDeviceError, "no printer");
}

// ---------------------------------------------------------------------------------------------
// Scale, position, font

void CairoPrinter::SetScaleMode(int16_t mode) {
  Require();
  scale_.SetMode(mode);
}

int16_t CairoPrinter::ScaleMode() const {
  Require();
  return scale_.mode();
}

float CairoPrinter::ScaleWidth() const {
  Require();
  return scale_.Width();
}

float CairoPrinter::ScaleHeight() const {
  Require();
  return scale_.Height();
}

void CairoPrinter::SetCurrentX(float x) {
  Require();
  current_x_px_ = scale_.ToDeviceX(x);
}

void CairoPrinter::SetCurrentY(float y) {
  Require();
  current_y_px_ = scale_.ToDeviceY(y);
}

float CairoPrinter::CurrentX() const {
  Require();
  return ToSingle(scale_.FromDeviceX(current_x_px_));
}

float CairoPrinter::CurrentY() const {
  Require();
  return ToSingle(scale_.FromDeviceY(current_y_px_));
}

void CairoPrinter::SetFontName(const std::u32string& name) {
  Require();
  if (!name.empty()) font_.name = name;
}

void CairoPrinter::SetFontSize(float points) {
  Require();
  if (!(points > 0) || !(points <= kMaxFontPoints)) {
    throw RuntimeError(ErrorKind::kInvalidArgument, "invalid font size");
  }
  font_.size = points;
}

void CairoPrinter::SetFontBold(bool bold) {
  Require();
  font_.bold = bold;
}

std::u32string CairoPrinter::FontName() const {
  Require();
  return font_.name;
}

float CairoPrinter::FontSize() const {
  Require();
  return font_.size;
}

bool CairoPrinter::FontBold() const {
  Require();
  return font_.bold;
}

// ---------------------------------------------------------------------------------------------
// Text

void CairoPrinter::Print(const std::u32string& text) {
  Require();
  const double x = CheckedCoordinate(current_x_px_);
  const double y = CheckedCoordinate(current_y_px_);
  Open();
  FlushDots();
  const TextExtent extent = text_.Draw(cr_.get(), x, y, text, font_);
  current_y_px_ = y + extent.height;
  current_x_px_ = scale_.ToDeviceX(0);
}

float CairoPrinter::TextWidth(const std::u32string& text) {
  Require();
  return ToSingle(scale_.LengthFromDeviceX(text_.Measure(text, font_).width));
}

float CairoPrinter::TextHeight(const std::u32string& text) {
  Require();
  return ToSingle(scale_.LengthFromDeviceY(text_.Measure(text, font_).height));
}

// ---------------------------------------------------------------------------------------------
// Lines and dots

void CairoPrinter::SetDrawStyle(int16_t style) {
  Require();
  if (style < 0 || style > 6) throw RuntimeError(ErrorKind::kInvalidArgument, "draw style");
  draw_style_ = style;
}

int16_t CairoPrinter::DrawStyle() const {
  Require();
  return draw_style_;
}

void CairoPrinter::Line(float x1, float y1, float x2, float y2) {
  Require();
  // Both ends are rounded to whole device pixels (halves to even), as a dot's position is, and the
  // line covers the pixels from the first to the last: one pixel wide, on the printer's own grid.
  const double px1 = std::nearbyint(CheckedCoordinate(scale_.ToDeviceX(x1)));
  const double py1 = std::nearbyint(CheckedCoordinate(scale_.ToDeviceY(y1)));
  const double px2 = std::nearbyint(CheckedCoordinate(scale_.ToDeviceX(x2)));
  const double py2 = std::nearbyint(CheckedCoordinate(scale_.ToDeviceY(y2)));
  Open();
  FlushDots();
  if (draw_style_ == 5) return;  // transparent
  Stroke(px1, py1, px2, py2);
}

void CairoPrinter::Stroke(double x1, double y1, double x2, double y2) {
  cairo_t* cr = cr_.get();
  cairo_save(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  const double inset = EdgeInset(std::max(device_.dpi_x, device_.dpi_y));
  cairo_set_line_width(cr, 1.0 - 2 * inset);
  const std::vector<double> units = DashUnits(draw_style_);
  const bool dashed = !units.empty();
  if (dashed) {
    // Each dash is shortened and each gap lengthened by the inset at both ends, so that both stay
    // on whole pixels.
    const double unit = std::max(1.0, std::round(std::min(device_.dpi_x, device_.dpi_y) / 150.0));
    std::vector<double> dashes;
    for (size_t i = 0; i < units.size(); ++i) {
      dashes.push_back(units[i] * unit + (i % 2 == 0 ? -2 * inset : 2 * inset));
    }
    cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), 0);
  }
  if (y1 == y2) {
    // Along a row: from the outer edge of the first pixel to the outer edge of the last, so that
    // dots start and end on pixel edges.
    const bool forward = x2 >= x1;
    cairo_move_to(cr, forward ? x1 + inset : x1 + 1 - inset, y1 + 0.5);
    cairo_line_to(cr, forward ? x2 + 1 - inset : x2 + inset, y1 + 0.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  } else if (x1 == x2) {
    const bool forward = y2 >= y1;
    cairo_move_to(cr, x1 + 0.5, forward ? y1 + inset : y1 + 1 - inset);
    cairo_line_to(cr, x1 + 0.5, forward ? y2 + 1 - inset : y2 + inset);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  } else {
    // Slanted: centre to centre; a square cap reaches the outer edges of a solid line's ends.
    cairo_move_to(cr, x1 + 0.5, y1 + 0.5);
    cairo_line_to(cr, x2 + 0.5, y2 + 0.5);
    cairo_set_line_cap(cr, dashed ? CAIRO_LINE_CAP_BUTT : CAIRO_LINE_CAP_SQUARE);
  }
  cairo_stroke(cr);
  cairo_restore(cr);
}

void CairoPrinter::PSet(float x, float y, int32_t color) {
  Require();
  const int32_t px = DevicePixel(scale_.ToDeviceX(x));
  const int32_t py = DevicePixel(scale_.ToDeviceY(y));
  CheckedCoordinate(px);
  CheckedCoordinate(py);
  Open();
  dots_.Set(px, py, static_cast<uint32_t>(color) & 0xFFFFFFu);
  if (dots_.full()) FlushDots();
}

void CairoPrinter::FlushDots() {
  if (dots_.empty()) return;
  dots_.Flush(cr_.get(), EdgeInset(device_.dpi_x), EdgeInset(device_.dpi_y));
}

// ---------------------------------------------------------------------------------------------
// Pictures

void CairoPrinter::PaintPicture(const PicturePtr& picture, float x, float y, float width,
                                float height) {
  Require();
  if (!picture) throw RuntimeError(ErrorKind::kInvalidArgument, "no picture");
  const double left = CheckedCoordinate(scale_.ToDeviceX(x));
  const double top = CheckedCoordinate(scale_.ToDeviceY(y));
  const double right = CheckedCoordinate(left + scale_.LengthToDeviceX(width));
  const double bottom = CheckedCoordinate(top + scale_.LengthToDeviceY(height));
  Open();
  FlushDots();
  // The corners go to device pixel edges, so line art lands on whole printer pixels and bands
  // painted one below the other meet without a seam. A negative size mirrors the picture.
  const double x0 = std::nearbyint(left);
  const double y0 = std::nearbyint(top);
  const double x1 = std::nearbyint(right);
  const double y1 = std::nearbyint(bottom);
  if (x0 == x1 || y0 == y1 || picture->width() == 0 || picture->height() == 0) return;
  cairo_surface_t* image = PictureSurface(picture);
  const double inset_x = std::copysign(EdgeInset(device_.dpi_x), x1 - x0);
  const double inset_y = std::copysign(EdgeInset(device_.dpi_y), y1 - y0);
  cairo_t* cr = cr_.get();
  cairo_save(cr);
  cairo_translate(cr, x0 + inset_x, y0 + inset_y);
  cairo_scale(cr, (x1 - x0 - 2 * inset_x) / picture->width(),
              (y1 - y0 - 2 * inset_y) / picture->height());
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
}

cairo_surface_t* CairoPrinter::PictureSurface(const PicturePtr& picture) {
  auto found = pictures_.find(picture.get());
  if (found != pictures_.end()) return found->second.surface.get();

  // A picture with the same pixels as one painted before is the same image: the bands of a
  // second copy are made afresh from the same page. Cairo is given the first one's surface, so
  // the PDF stores the image once. Pictures of another size are never compared; a hash of a
  // sample of the pixels passes over most that differ, and the pixels decide.
  std::optional<uint64_t> sample_hash;
  for (auto& [key, cached] : pictures_) {
    const Picture& other = *cached.picture;
    if (other.width() != picture->width() || other.height() != picture->height()) continue;
    if (!sample_hash) sample_hash = SampleHash(*picture);
    if (!cached.sample_hash) cached.sample_hash = SampleHash(other);
    if (*cached.sample_hash == *sample_hash && other.pixels() == picture->pixels()) {
      return cached.surface.get();
    }
  }

  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, picture->width());
  if (stride != picture->width() * 4) {
    throw RuntimeError(ErrorKind::kDeviceError, "picture too wide for the printer");
  }
  // The picture's pixels are 0x??RRGGBB in native order, as Cairo's RGB24 has them; the picture
  // is kept alive with the surface, so Cairo reads them in place.
  auto* pixels = reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(picture->pixels().data()));
  SurfacePtr surface(cairo_image_surface_create_for_data(
      pixels, CAIRO_FORMAT_RGB24, picture->width(), picture->height(), stride));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    throw RuntimeError(ErrorKind::kDeviceError, "picture cannot be painted on the printer");
  }
  // Cairo's recording of a page paints snapshots of the surface; the unique id lets the PDF
  // backend see that they are one image and store it once.
  const std::string id = "tolv-picture-" + std::to_string(next_picture_id_++);
  auto* id_copy = static_cast<unsigned char*>(std::malloc(id.size()));
  if (id_copy == nullptr) throw std::bad_alloc();
  std::memcpy(id_copy, id.data(), id.size());
  if (cairo_surface_set_mime_data(surface.get(), CAIRO_MIME_TYPE_UNIQUE_ID, id_copy, id.size(),
                                  std::free, id_copy) != CAIRO_STATUS_SUCCESS) {
    std::free(id_copy);
  }
  cairo_surface_t* raw = surface.get();
  pictures_.emplace(picture.get(), CachedPicture{picture, std::move(surface), sample_hash});
  return raw;
}

// ---------------------------------------------------------------------------------------------
// Document

cairo_status_t CairoPrinter::WritePdf(void* closure, const unsigned char* data,
                                      unsigned int length) {
  try {
    static_cast<CairoPrinter*>(closure)->pdf_.append(reinterpret_cast<const char*>(data), length);
  } catch (const std::bad_alloc&) {
    // Cannot unwind through Cairo; the failed document is reported when it ends.
    return CAIRO_STATUS_NO_MEMORY;
  }
  return CAIRO_STATUS_SUCCESS;
}

void CairoPrinter::Open() {
  if (document_open()) return;
  pdf_.clear();
  surface_.reset(cairo_pdf_surface_create_for_stream(WritePdf, this, device_.page_width_pt,
                                                     device_.page_height_pt));
  cairo_pdf_surface_set_metadata(surface_.get(), CAIRO_PDF_METADATA_CREATOR, "tolv");
  cr_.reset(cairo_create(surface_.get()));
  // Device pixels from the printable area's corner.
  cairo_scale(cr_.get(), 72.0 / device_.dpi_x, 72.0 / device_.dpi_y);
  cairo_translate(cr_.get(), device_.printable_left_px, device_.printable_top_px);
}

void CairoPrinter::NewPage() {
  Require();
  Open();
  FlushDots();
  cairo_show_page(cr_.get());
  current_x_px_ = scale_.ToDeviceX(0);
  current_y_px_ = scale_.ToDeviceY(0);
}

void CairoPrinter::EndDoc() {
  Require();
  if (!document_open()) return;
  FlushDots();
  cairo_status_t status = cairo_status(cr_.get());
  cr_.reset();
  cairo_surface_finish(surface_.get());
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface_.get());
  surface_.reset();
  pictures_.clear();
  std::string pdf = std::move(pdf_);
  pdf_.clear();

  if (status != CAIRO_STATUS_SUCCESS) {
    Record({false, std::string("the print document could not be rendered (") +
                       cairo_status_to_string(status) + "); nothing was printed"});
    return;
  }
  ++documents_handed_over_;
  Record(destination_->HandOver(FinishPdfForPrinting(std::move(pdf))));
}

void CairoPrinter::Record(const HandOverResult& result) {
  if (!result.ok && !first_failure_) first_failure_ = result;
}

HandOverResult CairoPrinter::Finish() {
  if (available() && document_open()) EndDoc();
  return first_failure_ ? *first_failure_ : HandOverResult{};
}

}  // namespace tolv
