#include "platform/win32/gdi_destination.h"

#include <windows.h>

#include <cwchar>
#include <utility>
#include <vector>

#include "platform/win32/emf_document.h"
#include "platform/win32/system/program_dir.h"
#include "runtime/quoted.h"

namespace tolv {
namespace {

std::string PrinterQuoted(const std::wstring& name) { return "\"" + WideToUtf8(name) + "\""; }

// The paper the printer's saved settings name, for a check: "A4 (paper 9)"; empty when unknown.
std::string SavedPaper(const std::wstring& name) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer, nullptr)) return {};
  std::string paper;
  const LONG size = DocumentPropertiesW(nullptr, printer, const_cast<wchar_t*>(name.c_str()),
                                        nullptr, nullptr, 0);
  if (size >= static_cast<LONG>(sizeof(DEVMODEW))) {
    std::vector<BYTE> buffer(size);
    auto* mode = reinterpret_cast<DEVMODEW*>(buffer.data());
    if (DocumentPropertiesW(nullptr, printer, const_cast<wchar_t*>(name.c_str()), mode, nullptr,
                            DM_OUT_BUFFER) == IDOK) {
      if (mode->dmFields & DM_FORMNAME) {
        paper =
            WideToUtf8(std::wstring_view(mode->dmFormName, wcsnlen(mode->dmFormName, CCHFORMNAME)));
      }
      if (mode->dmFields & DM_PAPERSIZE) {
        paper += (paper.empty() ? "" : " ") + std::string("(paper ") +
                 std::to_string(mode->dmPaperSize) + ")";
      }
    }
  }
  ClosePrinter(printer);
  return paper;
}

}  // namespace

std::wstring DefaultPrinterName() {
  DWORD needed = 0;
  GetDefaultPrinterW(nullptr, &needed);
  if (needed == 0) return {};
  std::wstring name(needed, L'\0');
  if (!GetDefaultPrinterW(name.data(), &needed)) return {};
  name.resize(wcsnlen(name.c_str(), name.size()));
  return name;
}

bool MeasurePrinter(const std::wstring& name, PrinterDevice* device, std::string* cause) {
  HDC dc = CreateDCW(L"WINSPOOL", name.c_str(), nullptr, nullptr);
  if (dc == nullptr) {
    *cause = "the printer " + PrinterQuoted(name) + " cannot be opened: " + FailedCall("CreateDCW");
    return false;
  }
  PrinterDevice d;
  d.dpi_x = GetDeviceCaps(dc, LOGPIXELSX);
  d.dpi_y = GetDeviceCaps(dc, LOGPIXELSY);
  const int physical_width = GetDeviceCaps(dc, PHYSICALWIDTH);
  const int physical_height = GetDeviceCaps(dc, PHYSICALHEIGHT);
  d.printable_left_px = GetDeviceCaps(dc, PHYSICALOFFSETX);
  d.printable_top_px = GetDeviceCaps(dc, PHYSICALOFFSETY);
  d.printable_width_px = GetDeviceCaps(dc, HORZRES);
  d.printable_height_px = GetDeviceCaps(dc, VERTRES);
  DeleteDC(dc);
  if (d.dpi_x <= 0 || d.dpi_y <= 0 || physical_width <= 0 || physical_height <= 0 ||
      d.printable_width_px <= 0 || d.printable_height_px <= 0) {
    *cause = "the printer " + PrinterQuoted(name) + " cannot be measured";
    return false;
  }
  d.page_width_pt = physical_width * 72.0 / d.dpi_x;
  d.page_height_pt = physical_height * 72.0 / d.dpi_y;
  // The printer's own paper, as its settings have it.
  d.media = SavedPaper(name);
  if (d.media.empty()) d.media = "the printer's paper";
  d.paper_from = "the printer's settings (DEVMODE) and its device context (GetDeviceCaps)";
  d.resolution_from = "the device context (GetDeviceCaps LOGPIXELSX, LOGPIXELSY)";
  *device = d;
  return true;
}

GdiSystemDestination::GdiSystemDestination(std::wstring printer, PrinterDevice device,
                                           std::string program_dir, WholeFileWriter write,
                                           std::string title)
    : printer_(std::move(printer)),
      device_(std::move(device)),
      program_dir_(std::move(program_dir)),
      write_(write),
      title_(std::move(title)) {}

std::string GdiSystemDestination::Describe() const {
  return "the printer " + PrinterQuoted(printer_);
}

std::string GdiSystemDestination::Queue() const { return WideToUtf8(printer_); }

HandOverResult GdiSystemDestination::HandOver(const FinishedDocument& document) {
  const std::string failed = PrintEmfDocument(printer_, document.bytes, Utf8ToWide(title_));
  if (failed.empty()) return {};
  return KeepAfterFailure(write_, program_dir_, document,
                          Describe() + " did not take the document: " + failed);
}

std::unique_ptr<Destination> OpenDefaultGdiDestination(const std::string& program_dir,
                                                       WholeFileWriter write,
                                                       const std::string& title) {
  const std::wstring name = DefaultPrinterName();
  if (name.empty()) return std::make_unique<FileDestination>(program_dir, write, "EMF");
  PrinterDevice device;
  std::string cause;
  if (!MeasurePrinter(name, &device, &cause)) {
    return std::make_unique<FailedPrinterDestination>(program_dir, cause, write);
  }
  return std::make_unique<GdiSystemDestination>(name, device, program_dir, write, title);
}

}  // namespace tolv
