// The Windows printer: every page of its document is recorded as an enhanced metafile in the
// printer's device pixels, with the printer's device context as its reference (or the screen's, for
// the file printer), and played into the printer between StartDocW and EndDoc when the document
// ends. So a document that the printer refuses halfway is still whole, and is kept beside the
// program as ZOBAX.EMF (ZOBAX-2.EMF, ... for the pages after the first), which prints the same
// again.
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

// Where the document goes: the default printer as GDI opened it, the file printer (no default
// printer at all), or a default printer that could not be opened or measured (`cause`). kNone is
// no printer whatever, whose every member raises; Windows itself never leaves a program there,
// but the printer's rules must hold for it too.
struct GdiTarget {
  enum class Kind { kPrinter, kFile, kFailed, kNone };
  Kind kind = Kind::kFile;
  std::wstring printer_name;
  HDC dc = nullptr;  // the printer's device context (kPrinter only); the target owns it
  PrinterDevice device;
  std::string cause;
};

// Finds the default printer (GetDefaultPrinterW, CreateDCW) and measures it (GetDeviceCaps).
GdiTarget FindDefaultPrinter();

class GdiPrinter : public DocumentPrinter, private DotSink {
 public:
  // Prints on target (recording for target.device); kept pages go into program_dir.
  GdiPrinter(GdiTarget target, std::string program_dir);
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
  // Plays the pages into the printer (or writes them as ZOBAX.EMF for the file printer); on
  // failure keeps them beside the program and says so.
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
  HandOverResult Play();
  // Keeps the pages beside the program as ZOBAX.EMF, ZOBAX-2.EMF, ...: the file printer's
  // document when `cause` is empty, else a failed hand-over's (never ok then).
  HandOverResult Keep(const std::string& cause);
  std::vector<std::string> PageBytes() const;

  GdiTarget target_;
  std::string program_dir_;
  HDC reference_ = nullptr;  // the printer, or a memory DC for the file printer
  GdiFonts fonts_;
  RECT frame_{};        // the page in 0.01 mm of the reference, for CreateEnhMetaFileW
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
