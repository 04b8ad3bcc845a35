// The GDI printer joins the printer contract: it records for the contract's device and hands its
// pages (one metafile after the other) to a destination; the first page is read back by playing
// its metafile into a 32-bit DIB section over the printable area (wine's GDI rasteriser) and by
// listing its text records, and each page's header must state the page. The real printer path,
// through a PostScript driver and ghostscript, is read back by the integration checks of
// print_check.py. The GDI picture box joins the picture-box contract.
#include <windows.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/emf_document.h"
#include "platform/win32/gdi_picture_box.h"
#include "platform/win32/gdi_printer.h"
#include "platform/win32/system/program_dir.h"
#include "surface/picture_box_contract.h"
#include "surface/printer_contract.h"

namespace tolv::testing {
namespace {

class KeepingDestination : public Destination {
 public:
  KeepingDestination(const PrinterDevice& device, std::string& emf) : device_(device), emf_(emf) {}
  const PrinterDevice& Device() const override { return device_; }
  HandOverResult HandOver(const FinishedDocument& document) override {
    emf_ = document.bytes;
    return {};
  }

 private:
  PrinterDevice device_;
  std::string& emf_;
};

class GdiContractBackend : public ContractBackend {
 public:
  GdiContractBackend(const PrinterDevice& d, bool available)
      : device_(d),
        printer_(std::make_unique<GdiPrinter>(
            available ? std::make_unique<KeepingDestination>(d, emf_) : nullptr)) {}

  DocumentPrinter& printer() override { return *printer_; }

  ContractPage ReadBack() override {
    ContractPage page;
    page.width = static_cast<int>(device_.printable_width_px);
    page.height = static_cast<int>(device_.printable_height_px);
    const std::vector<std::string_view> pages = EmfPages(emf_);
    page.pages = static_cast<int>(pages.size());
    for (std::string_view bytes : pages) ExpectFrameIsThePage(bytes);
    if (pages.empty()) return page;
    HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<UINT>(pages[0].size()),
                                          reinterpret_cast<const BYTE*>(pages[0].data()));
    if (emf == nullptr) {
      ADD_FAILURE() << "the first page is no metafile";
      return page;
    }
    Rasterise(emf, page);
    EnumEnhMetaFile(nullptr, emf, &CollectText, &page, nullptr);
    // The records are in the page's pixels; the contract's are the printable area's.
    for (auto& text : page.texts) {
      text.x -= std::lround(device_.printable_left_px);
      text.y -= std::lround(device_.printable_top_px);
    }
    DeleteEnhMetaFile(emf);
    return page;
  }

 private:
  // A viewer shows the frame as the page: the page's size in .01 mm, within the rounding to whole
  // millimetres, and device pixels that are the page's.
  void ExpectFrameIsThePage(std::string_view bytes) const {
    ENHMETAHEADER header{};
    ASSERT_GE(bytes.size(), sizeof header);
    std::memcpy(&header, bytes.data(), sizeof header);
    EXPECT_NEAR(header.rclFrame.right - header.rclFrame.left, device_.page_width_pt / 72 * 2540,
                50);
    EXPECT_NEAR(header.rclFrame.bottom - header.rclFrame.top, device_.page_height_pt / 72 * 2540,
                50);
    EXPECT_NEAR(header.szlDevice.cx, device_.page_width_pt / 72 * device_.dpi_x, 0.5);
    EXPECT_NEAR(header.szlDevice.cy, device_.page_height_pt / 72 * device_.dpi_y, 0.5);
  }

  // The page played into white 32-bit pixels over the printable area, as a printer plays it.
  void Rasterise(HENHMETAFILE emf, ContractPage& page) const {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = page.width;
    info.bmiHeader.biHeight = -page.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, section);
    PatBlt(dc, 0, 0, page.width, page.height, WHITENESS);
    const RECT area = PageArea(emf, static_cast<int>(std::lround(device_.printable_left_px)),
                               static_cast<int>(std::lround(device_.printable_top_px)), 0, 0);
    EXPECT_TRUE(PlayEnhMetaFile(dc, emf, &area));
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    page.pixels.assign(pixels, pixels + static_cast<size_t>(page.width) * page.height);
    for (uint32_t& p : page.pixels) p &= 0xFFFFFF;
    SelectObject(dc, old);
    DeleteObject(section);
    DeleteDC(dc);
  }

  // The words of each text record, placed from its reference point (with TA_TOP | TA_LEFT, the
  // cell's top-left corner) by the advances the record carries.
  static int CALLBACK CollectText(HDC, HANDLETABLE*, const ENHMETARECORD* record, int,
                                  LPARAM data) {
    if (record->iType != EMR_EXTTEXTOUTW) return 1;
    const auto* text = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
    const BYTE* base = reinterpret_cast<const BYTE*>(record);
    const auto* chars = reinterpret_cast<const wchar_t*>(base + text->emrtext.offString);
    const auto* advances = reinterpret_cast<const INT*>(base + text->emrtext.offDx);
    double x = text->emrtext.ptlReference.x;
    std::wstring word;
    double word_x = x;
    auto flush = [&] {
      if (!word.empty()) {
        reinterpret_cast<ContractPage*>(data)->texts.push_back(
            {WideToUtf8(word), word_x, static_cast<double>(text->emrtext.ptlReference.y)});
      }
      word.clear();
    };
    for (DWORD k = 0; k < text->emrtext.nChars; ++k) {
      if (chars[k] == L' ') {
        flush();
      } else {
        if (word.empty()) word_x = x;
        word.push_back(chars[k]);
      }
      if (text->emrtext.offDx != 0) x += advances[k];
    }
    flush();
    return 1;
  }

  PrinterDevice device_;
  std::string emf_;
  std::unique_ptr<GdiPrinter> printer_;
};

INSTANTIATE_TEST_SUITE_P(Gdi, PrinterContractTest,
                         ::testing::Values(ContractBackendFactory{
                             "Gdi",
                             [](const PrinterDevice& d, bool available) {
                               return std::make_unique<GdiContractBackend>(d, available);
                             }}),
                         ContractBackendName);

INSTANTIATE_TEST_SUITE_P(Gdi, PictureBoxContractTest,
                         ::testing::Values(PictureBoxFactory{
                             "Gdi",
                             [](const PictureBoxDesign& design) -> std::unique_ptr<PictureBox> {
                               return std::make_unique<GdiPictureBox>(design);
                             }}),
                         PictureBoxFactoryName);

}  // namespace
}  // namespace tolv::testing
