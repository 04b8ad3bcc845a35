#include "platform/cairo/cairo_printer.h"

#include <cairo-pdf.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "job/code_page.h"
#include "platform/cairo/cairo_dots.h"
#include "platform/cairo/pdf_finish.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

// Cairo's PDF backend keeps coordinates in 1/256 of a point, so a pixel edge lands up to half of
// that beside its place. A rasteriser that paints every pixel a shape touches would then paint the
// neighbour too: every dot, line and picture is drawn this much inside its pixel edges, which
// keeps it on its own pixels whichever rule the printer follows.
double EdgeInset(double dpi) { return dpi / (72.0 * 256.0); }

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

CairoPrinter::CairoPrinter(std::unique_ptr<Destination> destination,
                           std::shared_ptr<MissingFonts> missing)
    : DocumentPrinter(destination ? std::optional<PrinterDevice>(destination->Device())
                                  : std::nullopt),
      destination_(std::move(destination)),
      text_(device().dpi_x, device().dpi_y, std::move(missing)) {}

CairoPrinter::~CairoPrinter() {
  // A document never ended is dropped, not handed over; Cairo may still read the pictures' pixels
  // while it lets go of the surface, so they go last.
  cr_.reset();
  surface_.reset();
  pictures_.clear();
}

// ---------------------------------------------------------------------------------------------
// Text

TextExtent CairoPrinter::OnMeasureText(const std::u32string& text, const FontSpec& font) {
  return text_.Measure(text, font);
}

TextExtent CairoPrinter::OnDrawText(double x, double y, const std::u32string& text,
                                    const FontSpec& font) {
  const TextExtent extent = text_.Draw(cr_.get(), x, y, text, font);
  if (text.find_first_not_of(U' ') != std::u32string::npos) {
    marks_.Add(x, y, x + extent.width, y + extent.height);
  }
  return extent;
}

// ---------------------------------------------------------------------------------------------
// Lines and dots

void CairoPrinter::OnDrawLine(int32_t ix1, int32_t iy1, int32_t ix2, int32_t iy2, int16_t style) {
  const double x1 = ix1, y1 = iy1, x2 = ix2, y2 = iy2;
  marks_.Add(x1, y1, x2 + 1, y2 + 1);
  cairo_t* cr = cr_.get();
  const PrinterDevice& d = device();
  cairo_save(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  const double inset = EdgeInset(std::max(d.dpi_x, d.dpi_y));
  cairo_set_line_width(cr, 1.0 - 2 * inset);
  const std::vector<int32_t> pattern = DashPattern(style, d);
  const bool dashed = !pattern.empty();
  if (dashed) {
    // Each dash is shortened and each gap lengthened by the inset at both ends, so that both stay
    // on whole pixels.
    std::vector<double> dashes;
    for (size_t i = 0; i < pattern.size(); ++i) {
      dashes.push_back(pattern[i] + (i % 2 == 0 ? -2 * inset : 2 * inset));
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

void CairoPrinter::OnDrawDots(DotLayer& dots) {
  PaintDots(dots, cr_.get(), EdgeInset(device().dpi_x), EdgeInset(device().dpi_y));
}

// ---------------------------------------------------------------------------------------------
// Pictures

void CairoPrinter::OnDrawPicture(const PicturePtr& picture, const DeviceRect& rect) {
  const double x0 = rect.left, y0 = rect.top, x1 = rect.right, y1 = rect.bottom;
  cairo_surface_t* image = PictureSurface(picture);
  marks_.Add(x0, y0, x1, y1);
  const double inset_x = std::copysign(EdgeInset(device().dpi_x), x1 - x0);
  const double inset_y = std::copysign(EdgeInset(device().dpi_y), y1 - y0);
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

void CairoPrinter::OnOpenDocument() {
  const PrinterDevice& d = device();
  pdf_.clear();
  surface_.reset(
      cairo_pdf_surface_create_for_stream(WritePdf, this, d.page_width_pt, d.page_height_pt));
  cairo_pdf_surface_set_metadata(surface_.get(), CAIRO_PDF_METADATA_CREATOR, "tolv");
  cr_.reset(cairo_create(surface_.get()));
  // Device pixels from the printable area's corner.
  cairo_scale(cr_.get(), 72.0 / d.dpi_x, 72.0 / d.dpi_y);
  cairo_translate(cr_.get(), d.printable_left_px, d.printable_top_px);
}

void CairoPrinter::OnEndPage() { cairo_show_page(cr_.get()); }

HandOverResult CairoPrinter::OnEndDocument() {
  cairo_status_t status = cairo_status(cr_.get());
  cr_.reset();
  cairo_surface_finish(surface_.get());
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface_.get());
  surface_.reset();
  pictures_.clear();
  std::string pdf = std::move(pdf_);
  pdf_.clear();

  if (status != CAIRO_STATUS_SUCCESS) {
    return {false, std::string("the print document could not be rendered (") +
                       cairo_status_to_string(status) + "); nothing was printed"};
  }
  ++documents_handed_over_;
  const std::string finished = FinishPdfForPrinting(std::move(pdf));
  const FinishedDocument document{finished, "PDF", marks_};
  marks_ = {};
  // A page whose text came out as nothing is no form to send to a printer; a character no font
  // has, among text that shows, is printed as the missing-glyph box.
  const bool nothing_shown = text_.missing_fonts().any();
  const std::u32string face = text_.missing_fonts().Take();
  if (nothing_shown) {
    return destination_->Keep(
        document, "no font available for \"" + ToUtf8(face) + "\", so nothing was printed");
  }
  return destination_->HandOver(document);
}

}  // namespace tolv
