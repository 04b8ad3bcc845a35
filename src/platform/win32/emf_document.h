// The GDI printer's finished document: the enhanced metafile of each page, one after the other
// (a metafile holds one page, and each states its own length). Every page is recorded in device
// pixels from the page's top-left corner, its frame is the page in whole millimetres, and its
// header's device size and millimetres are the page's: a viewer shows the page at its size, and a
// printer plays it pixel for pixel at the same resolution.
#ifndef TOLV_PLATFORM_WIN32_EMF_DOCUMENT_H_
#define TOLV_PLATFORM_WIN32_EMF_DOCUMENT_H_

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace tolv {

// The pages of a document; a cut or malformed tail is left out (the caller compares the count).
std::vector<std::string_view> EmfPages(std::string_view document);

// Makes a recorded page's header state the page: `page_px` device pixels are `page_mm` whole
// millimetres (the frame), so that playing the frame into a rectangle of `page_px` is one to one.
void StatePageSize(std::string& page, SIZE page_px, SIZE page_mm);

// Where to play a page on a device whose printable area starts `left`, `top` pixels into the
// page: the page's frame in the page's own pixels, from the printable corner; on a device of
// another resolution (`dpi_x`, `dpi_y`; 0: the page's own) the page's millimetres at that one.
RECT PageArea(HENHMETAFILE page, int left, int top, double dpi_x, double dpi_y);

// "<call> failed (error N: text)" for the calling thread's last error.
std::string FailedCall(const char* call);

// Prints `document` on the printer `printer` (a spooler name) as one job named `title`: StartDoc,
// each page played into its page area, EndDoc. `output` names a file the printer writes instead
// of its port (DOCINFO's lpszOutput; empty: its port). `mode`, when given, asks the printer for
// those settings (the paper). Returns "" when the printer took it, else one line naming the
// failure.
std::string PrintEmfDocument(const std::wstring& printer, std::string_view document,
                             const std::wstring& title, const std::wstring& output = {},
                             const DEVMODEW* mode = nullptr);

// The file printer's write for metafile documents: the first page as `path`, each further page
// beside it as <stem>-2.<ext>, <stem>-3.<ext>, ..., each whole or not at all; pages an earlier,
// longer document left there are removed. Other documents, and a document held in held/ (one
// file of all its pages, as `--reprint` reads it back), are written as they are.
bool WriteEmfPages(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_EMF_DOCUMENT_H_
