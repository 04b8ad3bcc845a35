// The Windows printer: every page of its document is recorded as an enhanced metafile in the
// printer's device pixels, with the printer's device context as its reference (or a memory one,
// for the file printer), and the finished pages are handed to the destination as one document
// (emf_document.h): the system printer plays them between StartDocW and EndDoc, the file printer
// and a failed hand-over keep them beside the program as ZOBAX.EMF (ZOBAX-2.EMF, ... for the
// pages after the first), which print the same again.
//
// Coordinates are device pixels from the printable area's top-left corner, as GDI's MM_TEXT has
// them on a printer. Marks are PatBlt rectangles in a solid brush, so a dot or a one-pixel line
// lands on exactly its device pixels through every driver (SetPixel draws nothing through some,
// and pens draw their end pixel or not as the driver likes).
#ifndef TOLV_PLATFORM_WIN32_GDI_PRINTER_H_
#define TOLV_PLATFORM_WIN32_GDI_PRINTER_H_

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "destination/destination.h"
#include "picture/picture.h"
#include "platform/win32/gdi_text.h"
#include "surface/document_printer.h"
#include "surface/dot_layer.h"
#include "surface/font.h"

namespace tolv {

class GdiPrinter : public DocumentPrinter, private DotSink {
 public:
  // Records for destination->Device(), measuring text on the destination's printer (its queue)
  // or, without one, on a memory device context. Without a destination (nullptr) there is no
  // printer.
  explicit GdiPrinter(std::unique_ptr<Destination> destination);
  ~GdiPrinter() override;

  int pages() const { return static_cast<int>(pages_.size()); }

 protected:
  void OnOpenDocument() override;
  void OnBeginPage() override;
  TextExtent OnMeasureText(const std::u32string& text, const FontSpec& font) override;
  TextExtent OnDrawText(double x, double y, const std::u32string& text,
                        const FontSpec& font) override;
  void OnDrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int16_t style) override;
  void OnDrawDots(DotLayer& dots) override;
  void OnDrawPicture(const PicturePtr& picture, const DeviceRect& rect) override;
  void OnEndPage() override;
  // Hands the pages, one metafile after the other (emf_document.h), to the destination.
  HandOverResult OnEndDocument() override;

 private:
  void BlackDots(const DotBitmap& bitmap) override;
  void ColourDots(uint32_t rgb, std::span<const DotPoint> dots) override;
  // Many colours as bitmaps (StretchDIBits) rather than a brush a colour: on Windows a process
  // has at most 10,000 GDI objects, and a metafile of 100,000 brushes outgrows the spooler.
  void ColourRaster(const DotRaster& raster) override;
  // One bitmap of `width` x `height` 32-bit pixels (0x00RRGGBB, top-down) at (x, y).
  void PaintBits(int32_t x, int32_t y, int32_t width, int32_t height, const uint32_t* bits);
  // A drawing call failed: the page lacks what it drew, so the document is not handed over (it
  // is kept, and the run fails) even though the step that drew goes on.
  [[noreturn]] void DrawingFailed(const char* call);
  void Marked(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

  HDC Page();
  void FillRuns(const std::vector<DotRun>& runs, uint32_t rgb);
  // A rectangle of whole device pixels filled in a colour (0x00BBGGRR).
  void Fill(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb);
  void SelectBrush(uint32_t rgb);
  void DropPages();
  // The pages recorded so far, each stating the page's size, one after the other.
  std::string Document() const;

  std::unique_ptr<Destination> destination_;
  HDC reference_ = nullptr;  // the destination's printer, or a memory DC
  GdiFonts fonts_;
  // Drawing is in pixels from the printable corner, recorded from the page's corner.
  int offset_x_ = 0;
  int offset_y_ = 0;
  SIZE page_px_{};      // the whole page in device pixels
  SIZE page_mm_{};      // and in whole millimetres: the frame
  RECT frame_{};        // the page in 0.01 mm, for CreateEnhMetaFileW
  MarkedArea marks_;    // text, lines and pictures (not the form's dots), for a queue's correction
  HDC page_ = nullptr;  // the page being recorded
  std::vector<HENHMETAFILE> pages_;
  std::map<uint32_t, HBRUSH> brushes_;
  uint32_t selected_brush_ = 0xFFFFFFFFu;
  // The box of what the page holds so far (exclusive right and bottom), and what it held when the
  // dots being drained came: a bitmap's unmarked pixels are white, so a bitmap is laid only
  // where nothing lies under it yet.
  RECT marked_{0, 0, 0, 0};
  RECT under_dots_{0, 0, 0, 0};
  // The black dots of a drain, painted after its coloured bitmaps (they never share a pixel).
  std::vector<DotRun> black_runs_;
  std::string broken_;  // why the document cannot be handed over, once a drawing call failed
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_GDI_PRINTER_H_
