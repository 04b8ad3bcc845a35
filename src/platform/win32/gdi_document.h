// The Windows printer's document: every page is recorded as an enhanced metafile in the printer's
// device pixels, with the printer's device context as its reference (or the screen's, for the file
// printer), and played into the printer between StartDocW and EndDoc when the document ends. So a
// document that the printer refuses halfway is still whole, and is kept beside the program as
// ZOBAX.EMF (ZOBAX-2.EMF, ... for the pages after the first), which prints the same again.
//
// Coordinates are device pixels from the printable area's top-left corner, as GDI's MM_TEXT has
// them on a printer. Marks are PatBlt rectangles in a solid brush, so a dot or a one-pixel line
// lands on exactly its device pixels through every driver (SetPixel draws nothing through some,
// and pens draw their end pixel or not as the driver likes).
#ifndef TOLV_PLATFORM_WIN32_GDI_DOCUMENT_H_
#define TOLV_PLATFORM_WIN32_GDI_DOCUMENT_H_

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/destination.h"
#include "platform/font.h"
#include "platform/picture.h"
#include "platform/win32/gdi_text.h"

namespace tolv {

// Where the document goes: the default printer as GDI opened it, the file printer (no default
// printer at all), or a default printer that could not be opened or measured (`cause`).
struct GdiTarget {
  enum class Kind { kPrinter, kFile, kFailed };
  Kind kind = Kind::kFile;
  std::wstring printer_name;
  HDC dc = nullptr;  // the printer's device context (kPrinter only); the target owns it
  PrinterDevice device;
  std::string cause;
};

// Finds the default printer (GetDefaultPrinterW, CreateDCW) and measures it (GetDeviceCaps).
GdiTarget FindDefaultPrinter();

// The file printer's device: A4 portrait, 600 dpi, the whole page printable.
PrinterDevice FileDevice();

class GdiDocument {
 public:
  // Records for target.device, handing over to the target at Finish(); takes the target's DC.
  GdiDocument(GdiTarget target, std::string program_dir);
  ~GdiDocument();
  GdiDocument(const GdiDocument&) = delete;
  GdiDocument& operator=(const GdiDocument&) = delete;

  const PrinterDevice& device() const { return target_.device; }

  // Text with its cell's top-left corner at (x, y), black.
  void Text(int32_t x, int32_t y, const std::u32string& text, const FontSpec& font);
  TextExtent Measure(const std::u32string& text, const FontSpec& font);
  // A rectangle of whole device pixels filled in a colour (0x00BBGGRR).
  void Fill(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb);
  // A line one device pixel wide over the pixels from (x1, y1) to (x2, y2), both included;
  // `dash` on and off pixels alternately from the first end (0: solid).
  void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t dash);
  // The whole picture stretched to the rectangle (a negative size mirrors), nearest pixel.
  void Picture(const Picture& picture, int32_t x, int32_t y, int32_t width, int32_t height);
  // Ends the page being recorded; the next mark starts another.
  void EndPage();
  // Ends the document and hands it over: played into the printer, or written as ZOBAX.EMF for the
  // file printer. On failure the pages are kept beside the program and the result says so.
  HandOverResult Finish();

  int pages() const { return static_cast<int>(pages_.size()); }

 private:
  HDC Page();
  void SelectBrush(uint32_t rgb);
  HandOverResult Play();
  HandOverResult Keep(const std::string& cause);
  // Writes the pages as ZOBAX.EMF, ZOBAX-2.EMF, ...; an empty string or why not.
  std::string WritePages(std::string* first_path);

  GdiTarget target_;
  std::string program_dir_;
  HDC reference_ = nullptr;  // the printer, or a screen DC for the file printer
  GdiFonts fonts_;
  RECT frame_{};             // the page in 0.01 mm of the reference, for CreateEnhMetaFileW
  HDC page_ = nullptr;       // the page being recorded
  std::vector<HENHMETAFILE> pages_;
  std::map<uint32_t, HBRUSH> brushes_;
  uint32_t selected_brush_ = 0xFFFFFFFFu;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_GDI_DOCUMENT_H_
