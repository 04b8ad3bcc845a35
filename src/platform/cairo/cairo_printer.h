// The printer: records one PDF document with Cairo on the destination's device and hands the
// finished bytes to the destination at EndDoc.
//
// Drawing coordinates are device pixels from the printable area's top-left corner: the PDF's user
// space is scaled by 72/dpi and shifted by the printable area's margin, so a device pixel of the
// printer is one unit and a dot or a one-pixel line lands on exactly one printer pixel.
//
// Marks: a dot (PSet) fills exactly one device pixel, the position rounded to whole pixels; a line
// covers the pixels between its rounded ends, one pixel wide; dotted (DrawStyle 2) it is dots of
// 1/150 inch with gaps as long (4 on, 4 off at 600 dpi), which a printer shows as a clearly dotted
// line. Text is placed with Pango by its line's logical top-left corner.
//
// Lifecycle: the document opens at the first output (Print, Line, PSet, PaintPicture, NewPage) and
// ends at EndDoc; a later output opens the next document. Finish() ends a document still open when
// the program ends. A run that outputs nothing hands nothing over. Cairo errors are sticky: they
// are checked once when the document ends, and a document that failed is a failed hand-over.
#ifndef TOLV_PLATFORM_CAIRO_CAIRO_PRINTER_H_
#define TOLV_PLATFORM_CAIRO_CAIRO_PRINTER_H_

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/cairo/dot_layer.h"
#include "platform/cairo/pango_text.h"
#include "platform/destination.h"
#include "platform/drawing_surface.h"
#include "platform/font.h"
#include "platform/scale.h"

namespace tolv {

// The face of the printer's font until a program sets one; fontconfig serves its metric twin.
inline constexpr char32_t kPrinterDefaultFace[] = U"Arial";
constexpr float kPrinterDefaultFontSize = 10.0f;

class CairoPrinter : public Printer {
 public:
  // Renders for destination->Device(). Without a destination (nullptr) or with a device that
  // cannot be drawn on, there is no printer: every member raises RuntimeError.
  explicit CairoPrinter(std::unique_ptr<Destination> destination);
  ~CairoPrinter() override;
  CairoPrinter(const CairoPrinter&) = delete;
  CairoPrinter& operator=(const CairoPrinter&) = delete;

  void SetScaleMode(int16_t mode) override;
  int16_t ScaleMode() const override;
  float ScaleWidth() const override;
  float ScaleHeight() const override;
  void SetCurrentX(float x) override;
  void SetCurrentY(float y) override;
  float CurrentX() const override;
  float CurrentY() const override;
  void SetFontName(const std::u32string& name) override;
  void SetFontSize(float points) override;
  void SetFontBold(bool bold) override;
  std::u32string FontName() const override;
  float FontSize() const override;
  bool FontBold() const override;
  void Print(const std::u32string& text) override;
  float TextWidth(const std::u32string& text) override;
  float TextHeight(const std::u32string& text) override;
  void SetDrawStyle(int16_t style) override;
  int16_t DrawStyle() const override;
  void Line(float x1, float y1, float x2, float y2) override;
  void PSet(float x, float y, int32_t color) override;
  void PaintPicture(const PicturePtr& picture, float x, float y, float width,
                    float height) override;
  void NewPage() override;
  void EndDoc() override;

  // Ends a document that is still open and returns the outcome of every hand-over so far: ok when
  // all succeeded (or nothing was handed over), else the message of the first that failed.
  HandOverResult Finish();

  bool available() const { return destination_ != nullptr; }
  bool document_open() const { return surface_ != nullptr; }
  int documents_handed_over() const { return documents_handed_over_; }

 private:
  struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
  };
  struct ContextDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
  };
  using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
  using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

  // A picture painted in this document: kept alive with its image surface, so that a second
  // painting refers to the same image and the PDF stores it once.
  struct CachedPicture {
    PicturePtr picture;
    SurfacePtr surface;
    // A hash of some of its pixels, made when another picture of its size comes.
    std::optional<uint64_t> sample_hash;
  };

  void Require() const;
  // Opens the document at the first output.
  void Open();
  void FlushDots();
  void Stroke(double x1, double y1, double x2, double y2);
  cairo_surface_t* PictureSurface(const PicturePtr& picture);
  void Record(const HandOverResult& result);
  static cairo_status_t WritePdf(void* closure, const unsigned char* data, unsigned int length);

  std::unique_ptr<Destination> destination_;
  PrinterDevice device_;
  SurfaceScale scale_;
  PangoTextEngine text_;
  FontSpec font_{kPrinterDefaultFace, kPrinterDefaultFontSize, false};
  double current_x_px_ = 0;
  double current_y_px_ = 0;
  int16_t draw_style_ = 0;

  // The open document.
  std::string pdf_;
  SurfacePtr surface_;
  ContextPtr cr_;
  std::unordered_map<const Picture*, CachedPicture> pictures_;
  uint64_t next_picture_id_ = 0;
  // Dots set since the last other output; drawn in bulk before the next other output, so every
  // dot still lies above what came before it.
  DotLayer dots_;

  int documents_handed_over_ = 0;
  std::optional<HandOverResult> first_failure_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_CAIRO_PRINTER_H_
