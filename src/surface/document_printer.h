// The printer core: everything a printer is besides its drawing library, once for every backend.
//
// It keeps the scale (ScaleMode, ScaleWidth, the origin), the current position, the font, the
// draw style, whether there is a printer at all, and the document's state; it applies every range
// rule and raises the run-time errors that go with them, the same way whatever draws. A backend
// (Cairo into a PDF, GDI into a printer's device context, the recorder of the unit tests) supplies
// only the hooks below, all in device pixels from the printable area's top-left corner.
//
// The document. It opens at the first output (Print, Line, PSet, PaintPicture, NewPage) and ends
// at EndDoc; a later output opens the next document. NewPage ends the page; the next output, or a
// second NewPage, begins another, so a document never ends with an empty page that nothing asked
// for. Finish() ends a document still open when the program ends. A run that outputs nothing
// hands nothing over.
//
// Marks. A dot fills exactly one device pixel, its position rounded to the nearest pixel (halves
// to even); dots are gathered in a dot layer and handed to the backend in bulk before any other
// output and at the end of each page, so every dot lies above what came before it. A line covers
// the pixels between its rounded ends, one pixel wide; draw style 5 draws nothing. A picture fills
// the device pixels between its rounded corners; a rectangle without width or height draws
// nothing. Text is placed by its line's logical top-left corner; control characters are blanks.
//
// Errors. Every member raises RuntimeError (kDeviceError) when there is no printer. Positions
// beyond kMaxDeviceCoordinate device pixels (about 350 m at 600 dpi) or not finite raise an
// overflow before anything is drawn; a font size is checked when it is set; a draw style outside
// 0 to 6 and a missing picture are invalid arguments. A hook may raise RuntimeError too: the step
// that called it fails and the printer stays usable.
#ifndef TOLV_SURFACE_DOCUMENT_PRINTER_H_
#define TOLV_SURFACE_DOCUMENT_PRINTER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "destination/destination.h"
#include "picture/picture.h"
#include "surface/dot_layer.h"
#include "surface/drawing_surface.h"
#include "surface/font.h"
#include "surface/scale.h"

namespace tolv {

// The face and size of the printer's font until a program sets one.
inline constexpr char32_t kPrinterDefaultFace[] = U"Arial";
constexpr float kPrinterDefaultFontSize = 10.0f;

// A picture's place on the page: the device pixel edges of its left, top, right and bottom sides.
// right < left (or bottom < top) mirrors the picture; the sides are never equal.
struct DeviceRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// The on and off lengths of a draw style's dashes in device pixels, from a line's first end; empty
// for a solid line. The unit is 1/150 inch at the device's lower resolution (4 pixels at 600 dpi):
// short enough that a dotted cut line reads as dots, long enough that every printer resolves it.
// Style 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot; 0 and 6 solid (5 draws nothing at all).
std::vector<int32_t> DashPattern(int16_t style, const PrinterDevice& device);

class DocumentPrinter : public Printer {
 public:
  ~DocumentPrinter() override = default;
  DocumentPrinter(const DocumentPrinter&) = delete;
  DocumentPrinter& operator=(const DocumentPrinter&) = delete;

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
  // all succeeded (or nothing was handed over), else the message of the first that failed
  // (including a device that could not be drawn on).
  HandOverResult Finish();

  bool available() const { return available_; }
  bool document_open() const { return state_ != State::kNoDocument; }
  // Documents ended so far, handed over or not.
  int documents_ended() const { return documents_ended_; }
  const PrinterDevice& device() const { return device_; }

 protected:
  // The printer of `device`; without one (nullopt) there is no printer and every member raises.
  // A device that cannot be drawn on (a resolution or page that is not a positive size) is no
  // printer either, and Finish() reports it as a failure.
  explicit DocumentPrinter(std::optional<PrinterDevice> device);

  // ---- The hooks, named On... so that no name of theirs is a Win32 macro (windows.h defines
  // DrawText). Positions are device pixels from the printable area's corner, checked against
  // kMaxDeviceCoordinate; a font is always one CheckFontSize accepts; text is as drawn (no
  // control characters). Every drawing hook is called inside a page.

  // Opens a document, at the first output.
  virtual void OnOpenDocument() = 0;
  // Begins a page, before its first mark (or at a NewPage that ends it at once).
  virtual void OnBeginPage() = 0;
  // The advance width of the text and the height of a line of the font (ascent, descent and line
  // gap), in device pixels.
  virtual TextExtent OnMeasureText(const std::u32string& text, const FontSpec& font) = 0;
  // Draws the text in black with its line's logical top-left corner at (x, y); returns its extent
  // as MeasureText does.
  virtual TextExtent OnDrawText(double x, double y, const std::u32string& text,
                                const FontSpec& font) = 0;
  // A line covering the pixels from (x1, y1) to (x2, y2), both included, one pixel wide, black,
  // in a draw style of 0 to 4 or 6 (5 never comes): 0 and 6 solid, 1 dash, 2 dot, 3 dash-dot,
  // 4 dash-dot-dot, each dash and gap a whole number of device pixels.
  virtual void OnDrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int16_t style) = 0;
  // Drains the dot layer (DotLayer::Drain), which is not empty.
  virtual void OnDrawDots(DotLayer& dots) = 0;
  // The whole picture stretched into the rectangle, nearest-pixel. The picture has pixels.
  virtual void OnDrawPicture(const PicturePtr& picture, const DeviceRect& rect) = 0;
  // Ends the page begun last.
  virtual void OnEndPage() = 0;
  // Ends the document (its last page already ended) and hands it over; the outcome says whether
  // it was taken. Never raises.
  virtual HandOverResult OnEndDocument() = 0;

 private:
  enum class State { kNoDocument, kInPage, kBetweenPages };

  void Require() const;
  // Before an output: opens the document and begins a page where none is begun.
  void BeginOutput();
  void FlushDots();
  void Record(const HandOverResult& result);

  PrinterDevice device_;
  bool available_;
  std::optional<HandOverResult> first_failure_;
  SurfaceScale scale_;
  FontSpec font_{kPrinterDefaultFace, kPrinterDefaultFontSize, false};
  double current_x_px_ = 0;
  double current_y_px_ = 0;
  int16_t draw_style_ = 0;
  State state_ = State::kNoDocument;
  int documents_ended_ = 0;
  // Dots set since the last other output.
  DotLayer dots_;
};

}  // namespace tolv

#endif  // TOLV_SURFACE_DOCUMENT_PRINTER_H_
