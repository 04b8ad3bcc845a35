// The GDI printer joins the printer contract: it records for the contract's device as the file
// printer does, keeps its pages as ZOBAX.EMF, ZOBAX-2.EMF, ..., and each page is read back by
// playing the metafile into a 32-bit DIB section (wine's GDI rasteriser) and by listing its text
// records. The real printer path, through a PostScript driver and ghostscript, is read back by
// the integration checks of print_check.py. The GDI picture box joins the picture-box contract.
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/gdi_picture_box.h"
#include "platform/win32/gdi_printer.h"
#include "platform/win32/system/program_dir.h"
#include "support/temp_dir.h"
#include "surface/picture_box_contract.h"
#include "surface/printer_contract.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

class GdiContractBackend : public ContractBackend {
 public:
  GdiContractBackend(const PrinterDevice& d, bool available) : device_(d) {
    GdiTarget target;
    target.kind = available ? GdiTarget::Kind::kFile : GdiTarget::Kind::kNone;
    target.device = d;
    printer_ = std::make_unique<GdiPrinter>(std::move(target), dir_);
  }

  DocumentPrinter& printer() override { return *printer_; }

  ContractPage ReadBack() override {
    ContractPage page;
    page.width = static_cast<int>(device_.printable_width_px);
    page.height = static_cast<int>(device_.printable_height_px);
    while (fs::exists(dir_ + "/" + PageName(page.pages))) ++page.pages;
    HENHMETAFILE emf = GetEnhMetaFileW(Utf8ToWide(dir_ + "\\ZOBAX.EMF").c_str());
    if (emf == nullptr) {
      ADD_FAILURE() << "no ZOBAX.EMF";
      return page;
    }
    Rasterise(emf, page);
    EnumEnhMetaFile(nullptr, emf, &CollectText, &page, nullptr);
    DeleteEnhMetaFile(emf);
    return page;
  }

 private:
  static std::string PageName(int k) {
    return k == 0 ? std::string("ZOBAX.EMF") : "ZOBAX-" + std::to_string(k + 1) + ".EMF";
  }

  // The page played into white 32-bit pixels over the printable area, as a printer plays it.
  static void Rasterise(HENHMETAFILE emf, ContractPage& page) {
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
    const RECT area{0, 0, page.width, page.height};
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
  // The printer goes before its directory.
  const ScratchDir scratch_{"tolv-gdi"};
  const std::string dir_ = scratch_.path();
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
