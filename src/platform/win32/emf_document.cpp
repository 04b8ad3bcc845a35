#include "platform/win32/emf_document.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwchar>

#include "destination/held_documents.h"
#include "platform/win32/system/atomic_file.h"
#include "platform/win32/system/error_text.h"
#include "platform/win32/system/program_dir.h"

namespace tolv {
namespace {

constexpr size_t kHeaderBytes = 88;             // ENHMETAHEADER up to szlMillimeters
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"

uint32_t Read32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

// <stem>-N.<ext> beside `path` for the N-th page (N >= 2).
std::string PagePath(const std::string& path, size_t page) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = has_ext ? path.substr(0, dot) : path;
  const std::string ext = has_ext ? path.substr(dot) : "";
  return stem + "-" + std::to_string(page) + ext;
}

// Whether `path` is a document HoldDocument names: held/<yyyymmdd>-<hhmmss>-form...
bool HeldDocumentPath(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string_view::npos) return false;
  const std::string_view folder = path.substr(0, slash);
  const size_t above = folder.find_last_of("/\\");
  if (folder.substr(above == std::string_view::npos ? 0 : above + 1) != kHeldFolder) return false;
  const std::string_view name = path.substr(slash + 1);
  constexpr std::string_view kShape = "dddddddd-dddddd-form";
  if (name.size() < kShape.size()) return false;
  for (size_t k = 0; k < kShape.size(); ++k) {
    const bool digit = name[k] >= '0' && name[k] <= '9';
    if (kShape[k] == 'd' ? !digit : name[k] != kShape[k]) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string_view> EmfPages(std::string_view document) {
  std::vector<std::string_view> pages;
  size_t at = 0;
  while (document.size() - at >= kHeaderBytes) {
    const std::string_view rest = document.substr(at);
    const uint32_t size = Read32(rest, 48);  // nBytes
    if (Read32(rest, 0) != EMR_HEADER || Read32(rest, 40) != kEmfSignature || size < kHeaderBytes ||
        size > rest.size()) {
      break;
    }
    pages.push_back(rest.substr(0, size));
    at += size;
  }
  return pages;
}

void StatePageSize(std::string& page, SIZE page_px, SIZE page_mm) {
  if (page.size() < kHeaderBytes || page_mm.cx <= 0 || page_mm.cy <= 0) return;
  ENHMETAHEADER header{};
  const size_t size = std::min<size_t>(Read32(page, 4), std::min(page.size(), sizeof header));
  std::memcpy(&header, page.data(), size);
  header.rclFrame = RECTL{0, 0, page_mm.cx * 100, page_mm.cy * 100};
  header.szlDevice = SIZEL{page_px.cx, page_px.cy};
  header.szlMillimeters = SIZEL{page_mm.cx, page_mm.cy};
  // Where the header has them, the micrometres say the same, whichever a player reads.
  if (size >= offsetof(ENHMETAHEADER, szlMicrometers) + sizeof(SIZEL)) {
    header.szlMicrometers = SIZEL{page_mm.cx * 1000, page_mm.cy * 1000};
  }
  std::memcpy(page.data(), &header, size);
}

RECT PageArea(HENHMETAFILE page, int left, int top, double dpi_x, double dpi_y) {
  ENHMETAHEADER header{};
  if (GetEnhMetaFileHeader(page, sizeof header, &header) == 0 || header.szlMillimeters.cx <= 0 ||
      header.szlMillimeters.cy <= 0) {
    return RECT{0, 0, 0, 0};
  }
  const double frame_w_mm = (header.rclFrame.right - header.rclFrame.left) / 100.0;
  const double frame_h_mm = (header.rclFrame.bottom - header.rclFrame.top) / 100.0;
  // One to one on a device of the resolution the page was recorded at (the header's whole
  // millimetres tell it within a percent); else the page's millimetres at the device's.
  double width = frame_w_mm * header.szlDevice.cx / header.szlMillimeters.cx;
  double height = frame_h_mm * header.szlDevice.cy / header.szlMillimeters.cy;
  const double recorded_x = header.szlDevice.cx * 25.4 / header.szlMillimeters.cx;
  const double recorded_y = header.szlDevice.cy * 25.4 / header.szlMillimeters.cy;
  if (dpi_x > 0 && dpi_y > 0 &&
      (std::abs(dpi_x / recorded_x - 1) > 0.01 || std::abs(dpi_y / recorded_y - 1) > 0.01)) {
    width = frame_w_mm * dpi_x / 25.4;
    height = frame_h_mm * dpi_y / 25.4;
  }
  return RECT{-left, -top, static_cast<LONG>(std::lround(width)) - left,
              static_cast<LONG>(std::lround(height)) - top};
}

std::string FailedCall(const char* call) {
  const DWORD error = GetLastError();
  return std::string(call) + " failed (" + SystemErrorText(error) + ")";
}

std::string PrintEmfDocument(const std::wstring& printer, std::string_view document,
                             const std::wstring& title, const std::wstring& output,
                             const DEVMODEW* mode) {
  const std::vector<std::string_view> pages = EmfPages(document);
  if (pages.empty()) return "the document holds no page";
  HDC dc = CreateDCW(L"WINSPOOL", printer.c_str(), nullptr, mode);
  if (dc == nullptr) return FailedCall("CreateDCW");
  const int left = GetDeviceCaps(dc, PHYSICALOFFSETX);
  const int top = GetDeviceCaps(dc, PHYSICALOFFSETY);
  const double dpi_x = GetDeviceCaps(dc, LOGPIXELSX);
  const double dpi_y = GetDeviceCaps(dc, LOGPIXELSY);
  DOCINFOW info{};
  info.cbSize = sizeof info;
  info.lpszDocName = title.c_str();
  info.lpszOutput = output.empty() ? nullptr : output.c_str();
  std::string failed;
  if (StartDocW(dc, &info) <= 0) {
    failed = FailedCall("StartDocW");
    DeleteDC(dc);
    return failed;
  }
  for (std::string_view bytes : pages) {
    HENHMETAFILE page = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()),
                                           reinterpret_cast<const BYTE*>(bytes.data()));
    if (page == nullptr) {
      failed = FailedCall("SetEnhMetaFileBits");
    } else {
      const RECT area = PageArea(page, left, top, dpi_x, dpi_y);
      if (StartPage(dc) <= 0) {
        failed = FailedCall("StartPage");
      } else if (!PlayEnhMetaFile(dc, page, &area)) {
        failed = FailedCall("PlayEnhMetaFile");
      } else if (EndPage(dc) <= 0) {
        failed = FailedCall("EndPage");
      }
      DeleteEnhMetaFile(page);
    }
    if (!failed.empty()) break;
  }
  if (failed.empty() && EndDoc(dc) <= 0) failed = FailedCall("EndDoc");
  if (!failed.empty()) AbortDoc(dc);
  DeleteDC(dc);
  return failed;
}

bool WriteEmfPages(const std::string& path, std::string_view bytes, std::string* error) {
  // A held document stays one file of all its pages: `--reprint` reads it back whole, its note's
  // length and checksum are over all of them, and `--held` lists each file as a document. The
  // destinations keep ZOBAX.EMF and hold documents with the one writer the platform gives them, so
  // the held folder is told here by the names HoldDocument gives, rather than by a second writer
  // passed through every destination and the shared code that keeps their documents.
  if (HeldDocumentPath(path)) return WriteFileAtomically(path, bytes, error);
  const std::vector<std::string_view> pages = EmfPages(bytes);
  if (pages.size() <= 1) {
    // One page, or no metafile at all: the bytes as they are.
    if (!WriteFileAtomically(path, bytes, error)) return false;
  } else {
    for (size_t k = 0; k < pages.size(); ++k) {
      if (!WriteFileAtomically(k == 0 ? path : PagePath(path, k + 1), pages[k], error)) {
        return false;
      }
    }
  }
  // ZOBAX.EMF is replaced by every run without a printer: the pages an earlier, longer document
  // left beside it are not part of this one. Elsewhere (held/, the operator's file) a name like
  // <stem>-2.<ext> may be another document's, and stays.
  const size_t slash = path.find_last_of("/\\");
  const std::wstring name = Utf8ToWide(path.substr(slash == std::string::npos ? 0 : slash + 1));
  if (CompareStringOrdinal(name.c_str(), -1, L"ZOBAX.EMF", -1, TRUE) == CSTR_EQUAL) {
    for (size_t k = std::max<size_t>(pages.size(), 1) + 1;; ++k) {
      if (!DeleteFileW(Utf8ToWide(PagePath(path, k)).c_str())) break;
    }
  }
  return true;
}

}  // namespace tolv
