// The Windows backend's own pieces that the printer contract and the integration checks do not
// reach: the program's folder, text in picture boxes, pictures through WIC, the pages of a
// document as files.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "picture/picture_format.h"
#include "platform/win32/emf_document.h"
#include "platform/win32/gdi_picture_box.h"
#include "platform/win32/gdi_text.h"
#include "platform/win32/system/program_dir.h"
#include "platform/win32/wic_picture_loader.h"
#include "runtime/runtime.h"
#include "support/temp_dir.h"

namespace tolv {
namespace {

// A one-page metafile whose first mark is `width` pixels wide.
std::string PageOf(int width) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  PatBlt(dc, 0, 0, width, 1, BLACKNESS);
  HENHMETAFILE page = CloseEnhMetaFile(dc);
  std::string bytes(GetEnhMetaFileBits(page, 0, nullptr), '\0');
  GetEnhMetaFileBits(page, static_cast<UINT>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data()));
  DeleteEnhMetaFile(page);
  return bytes;
}

// A document's pages go one a file: ZOBAX.EMF, ZOBAX-2.EMF; a cut tail is no page; what an
// earlier, longer document left beside ZOBAX.EMF goes, and another document's file stays.
TEST(Win32EmfDocumentTest, PagesAreFilesAndOnlyStaleKeptPagesGo) {
  const std::string one = PageOf(10), two = PageOf(20);
  const std::string document = one + two;
  EXPECT_EQ(EmfPages(document + two.substr(0, 100)).size(), 2u);
  const testing::ScratchDir scratch("tolv-emf");
  const std::string dir = scratch.path();
  auto read = [&](const std::string& name) {
    std::ifstream in(dir + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::ofstream(dir + "/ZOBAX-3.EMF") << "stale";
  std::ofstream(dir + "/doc-3.emf") << "another document";
  std::string error;
  ASSERT_TRUE(WriteEmfPages(dir + "/ZOBAX.EMF", document, &error)) << error;
  ASSERT_TRUE(WriteEmfPages(dir + "/doc.emf", document, &error)) << error;
  EXPECT_EQ(read("ZOBAX.EMF"), one);
  EXPECT_EQ(read("ZOBAX-2.EMF"), two);
  EXPECT_EQ(read("doc-2.emf"), two);
  EXPECT_FALSE(std::filesystem::exists(dir + "/ZOBAX-3.EMF"));
  EXPECT_EQ(read("doc-3.emf"), "another document");
}

TEST(Win32ProgramDirTest, IsTheFolderHoldingTheRunningExe) {
  const std::string dir = ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), '\\');
  std::vector<wchar_t> exe(32768);
  const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
  const std::wstring folder = Utf8ToWide(dir) + L"\\";
  EXPECT_EQ(std::wstring(exe.data(), n).substr(0, folder.size()), folder);
  // Names survive the way through UTF-8, surrogate pairs included.
  const std::wstring name = L"Z\u00fcrich \u03a9 \U0001F5A8";
  EXPECT_EQ(Utf8ToWide(WideToUtf8(name)), name);
  EXPECT_EQ(WideToUtf8(name), "Z\xC3\xBCrich \xCE\xA9 \xF0\x9F\x96\xA8");
}

TEST(Win32TextTest, ControlCharactersAreBlanksAndAstralCharactersPairs) {
  EXPECT_EQ(GdiString(std::u32string(U"a\0b\tc\x7F\x85", 7)), L"a b c  ");
  EXPECT_EQ(GdiString(U"\U0001F5A8"), L"\xD83D\xDDA8");
  EXPECT_EQ(GdiString(std::u32string(1, char32_t{0xD800})), L"\xFFFD");
}

TEST(Win32PictureBoxTest, TextIsBlackOnWhiteInsideItsCell) {
  PictureBoxDesign design;
  design.name = "Picture2";
  design.width = 300 * 15;
  design.height = 80 * 15;
  design.font_name = U"Arial";
  design.font_size = 20;
  GdiPictureBox box(design);
  box.SetScaleMode(3);
  box.SetAutoRedraw(true);
  box.SetCurrentX(40);
  box.SetCurrentY(10);
  box.Print(U"HxH");
  const float width = box.TextWidth(U"HxH");
  const float height = box.TextHeight(U"HxH");
  EXPECT_GT(width, 40);
  EXPECT_NEAR(height, 20 * 96 / 72.0, 5);
  const std::vector<uint32_t>& image = box.image_pixels();
  int black = 0;
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 300; ++x) {
      const uint32_t p = image[static_cast<size_t>(y) * 300 + x];
      // Unsmoothed: every pixel black or white, and opaque.
      ASSERT_TRUE(p == 0xFF000000u || p == 0xFFFFFFFFu) << x << "," << y << ": " << std::hex << p;
      if (p == 0xFF000000u) {
        ++black;
        EXPECT_GE(x, 40);
        EXPECT_LT(x, 40 + width + 1);
        EXPECT_GE(y, 10);
        EXPECT_LT(y, 10 + height);
      }
    }
  }
  EXPECT_GT(black, 100);
}

// A 2 x 2 bottom-up 24-bit BMP: red, green / blue, white (top row first).
std::string SmallBmp() {
  std::string b(54 + 16, '\0');
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<uint32_t>(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 2);
  put32(22, 2);
  put16(26, 1);
  put16(28, 24);
  put32(34, 16);
  const unsigned char rows[16] = {0xFF, 0, 0,    0xFF, 0xFF, 0xFF, 0, 0,   // bottom: blue, white
                                  0,    0, 0xFF, 0,    0xFF, 0,    0, 0};  // top: red, green
  std::memcpy(&b[54], rows, 16);
  return b;
}

TEST(Win32PictureTest, WicDecodesExactPixelsAndRefusesWhatItCannotRead) {
  const PicturePtr picture = DecodePictureWic(SmallBmp());
  ASSERT_EQ(picture->width(), 2);
  ASSERT_EQ(picture->height(), 2);
  EXPECT_EQ(picture->pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(picture->pixel(1, 0), 0xFF00FF00u);
  EXPECT_EQ(picture->pixel(0, 1), 0xFF0000FFu);
  EXPECT_EQ(picture->pixel(1, 1), 0xFFFFFFFFu);
  for (const std::string& bad : {std::string("not a picture"), std::string()}) {
    EXPECT_THROW(DecodePictureWic(bad), RuntimeError);
  }
  EXPECT_THROW(LoadPictureWic("C:\\no such folder\\KORDEL1A.GFX"), RuntimeError);
  EXPECT_THROW(LoadPictureWic(std::filesystem::temp_directory_path().string()), RuntimeError);

  // 511 MB behind a first few bytes (sparse files): the header decides before the body is read.
  const auto sparse = [](const std::string& name, const std::string& head) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary) << head;
    std::filesystem::resize_file(path, uint64_t{511} << 20);
    return path.string();
  };
  const std::string no_header = sparse("tolv-bm.gfx", "BM");
  try {
    LoadPictureWic(no_header);
    ADD_FAILURE() << "loaded";
  } catch (const RuntimeError& e) {
    EXPECT_NE(std::string(e.what()).find("BMP header of unknown size"), std::string::npos);
  }
  const std::string padded = sparse("tolv-padded.bmp", SmallBmp());
  EXPECT_EQ(ReadPictureFile(padded), SmallBmp());
  EXPECT_EQ(LoadPictureWic(padded)->pixel(0, 1), 0xFF0000FFu);
  std::filesystem::remove(no_header);
  std::filesystem::remove(padded);
}

}  // namespace
}  // namespace tolv
