// The printer on Linux: records one PDF document with Cairo on the destination's device and hands
// the finished bytes to the destination when the document ends. The rules of a printer (scale,
// position, font, the document's state, every range check) are the printer core's; this backend
// only draws.
//
// Drawing coordinates are device pixels from the printable area's top-left corner: the PDF's user
// space is scaled by 72/dpi and shifted by the printable area's margin, so a device pixel of the
// printer is one unit and a dot or a one-pixel line lands on exactly one printer pixel. Dotted
// (DrawStyle 2) a line is dots of 1/150 inch with gaps as long (4 on, 4 off at 600 dpi), which a
// printer shows as a clearly dotted line. Text is placed with Pango.
//
// Cairo errors are sticky: they are checked once when the document ends, and a document that
// failed is a failed hand-over.
#ifndef TOLV_PLATFORM_CAIRO_CAIRO_PRINTER_H_
#define TOLV_PLATFORM_CAIRO_CAIRO_PRINTER_H_

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "destination/destination.h"
#include "platform/cairo/pango_text.h"
#include "surface/document_printer.h"

namespace tolv {

class CairoPrinter : public DocumentPrinter {
 public:
  // Renders for destination->Device(). Without a destination (nullptr) there is no printer. A
  // document in which text was drawn without a glyph (`missing`, shared with the picture boxes
  // whose pages it prints) is kept, not handed over.
  explicit CairoPrinter(std::unique_ptr<Destination> destination,
                        std::shared_ptr<MissingFonts> missing = std::make_shared<MissingFonts>());
  ~CairoPrinter() override;

  int documents_handed_over() const { return documents_handed_over_; }

 protected:
  void OnOpenDocument() override;
  void OnBeginPage() override {}
  TextExtent OnMeasureText(const std::u32string& text, const FontSpec& font) override;
  TextExtent OnDrawText(double x, double y, const std::u32string& text,
                        const FontSpec& font) override;
  void OnDrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int16_t style) override;
  void OnDrawDots(DotLayer& dots) override;
  void OnDrawPicture(const PicturePtr& picture, const DeviceRect& rect) override;
  void OnEndPage() override;
  HandOverResult OnEndDocument() override;

 private:
  struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
  };
  struct ContextDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
  };
  using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
  using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

  // Where the document has put text, lines and pictures so far (not the form's dots, which lie
  // under its text), for the queue's correction to keep on the printable area.
  MarkedArea marks_;

  // A picture painted in this document: kept alive with its image surface, so that a second
  // painting refers to the same image and the PDF stores it once.
  struct CachedPicture {
    PicturePtr picture;
    SurfacePtr surface;
    // A hash of some of its pixels, made when another picture of its size comes.
    std::optional<uint64_t> sample_hash;
  };

  cairo_surface_t* PictureSurface(const PicturePtr& picture);
  static cairo_status_t WritePdf(void* closure, const unsigned char* data, unsigned int length);

  std::unique_ptr<Destination> destination_;
  PangoTextEngine text_;

  // The open document.
  std::string pdf_;
  SurfacePtr surface_;
  ContextPtr cr_;
  std::unordered_map<const Picture*, CachedPicture> pictures_;
  uint64_t next_picture_id_ = 0;

  int documents_handed_over_ = 0;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_CAIRO_PRINTER_H_
