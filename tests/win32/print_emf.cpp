// tolv-print-emf FILE...: prints kept pages (ZOBAX.EMF, ZOBAX-2.EMF, ...) on the default printer,
// one page each, their frame (the page) played onto the page as tolv plays them: what an office
// does with a document tolv could not hand over, and what the tests compare with a direct print.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  wchar_t name[512];
  DWORD size = 512;
  if (argc < 2 || !GetDefaultPrinterW(name, &size)) return 64;
  HDC dc = CreateDCW(L"WINSPOOL", name, nullptr, nullptr);
  if (dc == nullptr) return 1;
  const int left = GetDeviceCaps(dc, PHYSICALOFFSETX);
  const int top = GetDeviceCaps(dc, PHYSICALOFFSETY);
  DOCINFOW info{};
  info.cbSize = sizeof info;
  info.lpszDocName = L"tolv kept document";
  bool ok = StartDocW(dc, &info) > 0;
  for (int k = 1; ok && k < argc; ++k) {
    HENHMETAFILE page = GetEnhMetaFileW(argv[k]);
    ENHMETAHEADER h{};
    ok = page != nullptr && GetEnhMetaFileHeader(page, sizeof h, &h) > 0 &&
         h.szlMillimeters.cx > 0 && h.szlMillimeters.cy > 0;
    if (!ok) {
      if (page != nullptr) DeleteEnhMetaFile(page);
      break;
    }
    // The frame in the page's pixels, from the page's corner.
    const RECT area{
        -left, -top,
        MulDiv(h.rclFrame.right - h.rclFrame.left, h.szlDevice.cx, h.szlMillimeters.cx * 100) -
            left,
        MulDiv(h.rclFrame.bottom - h.rclFrame.top, h.szlDevice.cy, h.szlMillimeters.cy * 100) -
            top};
    ok = StartPage(dc) > 0 && PlayEnhMetaFile(dc, page, &area) && EndPage(dc) > 0;
    if (page != nullptr) DeleteEnhMetaFile(page);
  }
  ok = ok && EndDoc(dc) > 0;
  DeleteDC(dc);
  if (!ok) std::fprintf(stderr, "tolv-print-emf: printing failed (error %lu)\n", GetLastError());
  return ok ? 0 : 1;
}
