// The picture loader: every format and BMP depth decodes to the right pixels, whatever the file is
// called; cut-off, unknown and oversized pictures are refused.
#include "platform/cairo/picture_loader.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace tolv {
namespace {

void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void Put32Be(std::string& s, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// The test picture: 5 x 3 pixels (an odd width, so rows need padding), colour index = x + 5y.
constexpr int kW = 5;
constexpr int kH = 3;
uint32_t PaletteColour(int i) {  // 0xRRGGBB
  return static_cast<uint32_t>(((i * 37) & 0xFF) << 16 | ((i * 91 + 7) & 0xFF) << 8 |
                               ((255 - i * 13) & 0xFF));
}
int IndexAt(int x, int y, int colours) { return (x + kW * y) % colours; }

// A BMP file around `data` with a 40-byte (or 12-byte core) header and the palette.
std::string BmpFile(int width, int height, int bpp, int colours, const std::string& data,
                    uint32_t compression = 0, bool core_header = false) {
  std::string palette;
  for (int i = 0; i < colours; ++i) {
    const uint32_t c = PaletteColour(i);
    palette.push_back(static_cast<char>(c & 0xFF));
    palette.push_back(static_cast<char>((c >> 8) & 0xFF));
    palette.push_back(static_cast<char>((c >> 16) & 0xFF));
    if (!core_header) palette.push_back(0);
  }
  std::string info;
  if (core_header) {
    Put32(info, 12);
    Put16(info, width);
    Put16(info, height);
    Put16(info, 1);
    Put16(info, bpp);
  } else {
    Put32(info, 40);
    Put32(info, static_cast<uint32_t>(width));
    Put32(info, static_cast<uint32_t>(height));
    Put16(info, 1);
    Put16(info, bpp);
    Put32(info, compression);
    Put32(info, static_cast<uint32_t>(data.size()));
    Put32(info, 3780);
    Put32(info, 3780);
    Put32(info, colours);
    Put32(info, 0);
  }
  std::string file = "BM";
  const uint32_t offset = 14 + static_cast<uint32_t>(info.size() + palette.size());
  Put32(file, offset + static_cast<uint32_t>(data.size()));
  Put32(file, 0);
  Put32(file, offset);
  return file + info + palette + data;
}

// Uncompressed rows, bottom row first, each padded to 32 bits; value(x, y) is an index for
// depths up to 8, else a 0xRRGGBB colour.
std::string PackRows(int width, int height, int bpp,
                     const std::function<uint32_t(int, int)>& value) {
  std::string data;
  for (int y = height - 1; y >= 0; --y) {
    std::string row;
    uint32_t bits = 0;
    int nbits = 0;
    for (int x = 0; x < width; ++x) {
      const uint32_t v = value(x, y);
      if (bpp <= 8) {
        bits = (bits << bpp) | v;
        nbits += bpp;
        if (nbits == 8) {
          row.push_back(static_cast<char>(bits));
          bits = 0;
          nbits = 0;
        }
      } else if (bpp == 16) {  // 5-5-5
        Put16(row, ((v >> 19) & 0x1F) << 10 | ((v >> 11) & 0x1F) << 5 | ((v >> 3) & 0x1F));
      } else {
        row.push_back(static_cast<char>(v & 0xFF));
        row.push_back(static_cast<char>((v >> 8) & 0xFF));
        row.push_back(static_cast<char>((v >> 16) & 0xFF));
        if (bpp == 32) row.push_back(0);
      }
    }
    if (nbits > 0) row.push_back(static_cast<char>(bits << (8 - nbits)));
    while (row.size() % 4 != 0) row.push_back(0);
    data += row;
  }
  return data;
}

uint32_t Opaque(uint32_t rgb) { return 0xFF000000u | rgb; }

void ExpectPalettePicture(const PicturePtr& p, int colours) {
  ASSERT_EQ(p->width(), kW);
  ASSERT_EQ(p->height(), kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      EXPECT_EQ(p->pixel(x, y), Opaque(PaletteColour(IndexAt(x, y, colours)))) << x << "," << y;
    }
  }
}

TEST(PictureLoaderBmpTest, DecodesEveryPaletteDepth) {
  for (int bpp : {1, 4, 8}) {
    const int colours = 1 << bpp;
    const std::string data =
        PackRows(kW, kH, bpp, [&](int x, int y) { return IndexAt(x, y, colours); });
    SCOPED_TRACE(bpp);
    ExpectPalettePicture(DecodePicture(BmpFile(kW, kH, bpp, colours, data)), colours);
  }
  // The old 12-byte header with three-byte palette entries.
  const std::string data = PackRows(kW, kH, 8, [](int x, int y) { return IndexAt(x, y, 256); });
  ExpectPalettePicture(DecodePicture(BmpFile(kW, kH, 8, 256, data, 0, true)), 256);
}

TEST(PictureLoaderBmpTest, DecodesTrueColourDepthsAndTopDownRows) {
  auto colour = [](int x, int y) { return PaletteColour(x + kW * y); };
  for (int bpp : {24, 32}) {
    SCOPED_TRACE(bpp);
    const PicturePtr p = DecodePicture(BmpFile(kW, kH, bpp, 0, PackRows(kW, kH, bpp, colour)));
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) EXPECT_EQ(p->pixel(x, y), Opaque(colour(x, y)));
    }
  }
  // 16 bits keep 5 bits a channel: the colours come back with their low bits gone.
  const PicturePtr p16 = DecodePicture(BmpFile(kW, kH, 16, 0, PackRows(kW, kH, 16, colour)));
  EXPECT_EQ(p16->pixel(3, 2) & 0xF8F8F8u, colour(3, 2) & 0xF8F8F8u);
  // A negative height stores the top row first.
  std::string rows = PackRows(kW, kH, 24, [&](int x, int y) { return colour(x, kH - 1 - y); });
  const PicturePtr top_down = DecodePicture(BmpFile(kW, -kH, 24, 0, rows));
  EXPECT_EQ(top_down->pixel(0, 0), Opaque(colour(0, 0)));
  EXPECT_EQ(top_down->pixel(4, 2), Opaque(colour(4, 2)));
}

// Each row as runs of one index, bottom row first, with end-of-row marks and the end-of-bitmap
// mark; RLE4 packs two pixels of one index into the byte.
std::string RleRows(bool rle4, bool end_mark = true) {
  std::string data;
  for (int y = kH - 1; y >= 0; --y) {
    for (int x = 0; x < kW; ++x) {
      const int index = IndexAt(x, y, 16);
      data.push_back(1);
      data.push_back(static_cast<char>(rle4 ? index << 4 : index));
    }
    data.push_back(0);
    data.push_back(0);
  }
  if (end_mark) {
    data.push_back(0);
    data.push_back(1);
  }
  return data;
}

TEST(PictureLoaderBmpTest, DecodesRunLengthEncodedPictures) {
  ExpectPalettePicture(DecodePicture(BmpFile(kW, kH, 8, 256, RleRows(false), 1)), 16);
  ExpectPalettePicture(DecodePicture(BmpFile(kW, kH, 4, 16, RleRows(true), 2)), 16);
  // Rows complete but no end-of-bitmap mark: nothing is missing.
  ExpectPalettePicture(DecodePicture(BmpFile(kW, kH, 8, 256, RleRows(false, false), 1)), 16);
}

TEST(PictureLoaderBmpTest, RefusesATruncatedBitmap) {
  const std::string whole =
      BmpFile(kW, kH, 24, 0, PackRows(kW, kH, 24, [](int x, int) { return PaletteColour(x); }));
  EXPECT_NO_THROW(DecodePicture(whole));
  // gdk-pixbuf itself hands back a cut BMP with black rows and no error.
  EXPECT_THROW(DecodePicture(whole.substr(0, whole.size() - 20)), RuntimeError);
  EXPECT_THROW(DecodePicture(whole.substr(0, 30)), RuntimeError);
  EXPECT_THROW(DecodePicture(whole.substr(0, 10)), RuntimeError);
  // The missing padding of the last row is no loss.
  EXPECT_NO_THROW(DecodePicture(whole.substr(0, whole.size() - 1)));

  const std::string rle = BmpFile(kW, kH, 8, 256, RleRows(false), 1);
  EXPECT_THROW(DecodePicture(rle.substr(0, rle.size() - 6)), RuntimeError);
  const std::string rle4 = BmpFile(kW, kH, 4, 16, RleRows(true), 2);
  EXPECT_THROW(DecodePicture(rle4.substr(0, rle4.size() - 14)), RuntimeError);
}

TEST(PictureLoaderBmpTest, RefusesOver64MillionPixelsBeforeDecoding) {
  // A 1-bit picture of 8001 x 8000 is 64,008,000 pixels in 8 MB.
  const int width = 8001;
  const int height = 8000;
  const std::string data(static_cast<size_t>((width + 31) / 32 * 4) * height, '\0');
  try {
    DecodePicture(BmpFile(width, height, 1, 2, data));
    FAIL() << "an oversized picture was decoded";
  } catch (const RuntimeError& e) {
    EXPECT_NE(std::string(e.what()).find("64 million"), std::string::npos) << e.what();
  }
}

// --- Other formats -------------------------------------------------------------------------

std::string Saved(GdkPixbuf* pixbuf, const char* type) {
  gchar* buffer = nullptr;
  gsize size = 0;
  GError* error = nullptr;
  EXPECT_TRUE(gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, type, &error, nullptr))
      << (error ? error->message : "");
  g_clear_error(&error);
  std::string bytes(buffer, size);
  g_free(buffer);
  return bytes;
}

// 16 x 16: red left half, blue right half; with alpha, the bottom half is red at half opacity.
GdkPixbuf* TwoColours(bool alpha) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, 16, 16);
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const int channels = alpha ? 4 : 3;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      guchar* p = pixels + y * stride + x * channels;
      p[0] = x < 8 ? 255 : 0;
      p[1] = 0;
      p[2] = x < 8 ? 0 : 255;
      if (alpha) p[3] = y < 8 ? 255 : 128;
    }
  }
  return pixbuf;
}

TEST(PictureLoaderFormatsTest, DecodesPngTiffIcoAndJpeg) {
  GdkPixbuf* opaque = TwoColours(false);
  GdkPixbuf* translucent = TwoColours(true);
  for (const char* type : {"png", "tiff", "ico"}) {
    SCOPED_TRACE(type);
    const PicturePtr p = DecodePicture(Saved(opaque, type));
    ASSERT_EQ(p->width(), 16);
    ASSERT_EQ(p->height(), 16);
    EXPECT_EQ(p->pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(p->pixel(15, 15), 0xFF0000FFu);
  }
  // Half-transparent red over white: (255 * 128 + 255 * 127) / 255 red, 127 green and blue.
  const PicturePtr png = DecodePicture(Saved(translucent, "png"));
  EXPECT_EQ(png->pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(png->pixel(0, 15), 0xFFFF7F7Fu);

  const PicturePtr jpeg = DecodePicture(Saved(opaque, "jpeg"));
  ASSERT_EQ(jpeg->width(), 16);
  const uint32_t left = jpeg->pixel(2, 8);
  EXPECT_GT((left >> 16) & 0xFF, 0xE0u);
  EXPECT_LT(left & 0xFF, 0x20u);
  g_object_unref(opaque);
  g_object_unref(translucent);
}

// A GIF of the test picture with a 4-colour palette, LZW-coded without compression: a clear code
// before every pixel keeps the code width at 3 bits.
std::string Gif() {
  std::string gif = "GIF89a";
  Put16(gif, kW);
  Put16(gif, kH);
  gif += std::string("\x81\0\0", 3);  // global palette of 4 colours
  for (int i = 0; i < 4; ++i) {
    const uint32_t c = PaletteColour(i);
    gif.push_back(static_cast<char>(c >> 16));
    gif.push_back(static_cast<char>((c >> 8) & 0xFF));
    gif.push_back(static_cast<char>(c & 0xFF));
  }
  gif.push_back(0x2C);
  Put16(gif, 0);
  Put16(gif, 0);
  Put16(gif, kW);
  Put16(gif, kH);
  gif.push_back(0);
  gif.push_back(2);  // minimum code size
  std::string codes;
  uint32_t bits = 0;
  int nbits = 0;
  auto emit = [&](uint32_t code) {
    bits |= code << nbits;
    nbits += 3;
    while (nbits >= 8) {
      codes.push_back(static_cast<char>(bits & 0xFF));
      bits >>= 8;
      nbits -= 8;
    }
  };
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      emit(4);  // clear
      emit(static_cast<uint32_t>(IndexAt(x, y, 4)));
    }
  }
  emit(5);  // end of information
  if (nbits > 0) codes.push_back(static_cast<char>(bits & 0xFF));
  gif.push_back(static_cast<char>(codes.size()));
  gif += codes;
  gif.push_back(0);
  gif.push_back(0x3B);
  return gif;
}

TEST(PictureLoaderFormatsTest, DecodesGif) { ExpectPalettePicture(DecodePicture(Gif()), 4); }

TEST(PictureLoaderFormatsTest, RefusesTruncatedPicturesOfEveryFormat) {
  GdkPixbuf* opaque = TwoColours(false);
  std::vector<std::pair<std::string, std::string>> pictures = {{"png", Saved(opaque, "png")},
                                                               {"jpeg", Saved(opaque, "jpeg")},
                                                               {"tiff", Saved(opaque, "tiff")},
                                                               {"ico", Saved(opaque, "ico")},
                                                               {"gif", Gif()}};
  g_object_unref(opaque);
  for (const auto& [type, bytes] : pictures) {
    SCOPED_TRACE(type);
    EXPECT_NO_THROW(DecodePicture(bytes));
    for (size_t keep : {bytes.size() * 2 / 3, bytes.size() - 3, size_t{12}}) {
      EXPECT_THROW(DecodePicture(bytes.substr(0, keep)), RuntimeError) << keep;
    }
  }
}

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char ch : bytes) {
    crc ^= static_cast<uint8_t>(ch);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

std::string PngChunk(const std::string& type, const std::string& data) {
  std::string chunk;
  Put32Be(chunk, static_cast<uint32_t>(data.size()));
  chunk += type + data;
  Put32Be(chunk, Crc32(type + data));
  return chunk;
}

TEST(PictureLoaderFormatsTest, RefusesAnOversizedPngFromItsHeader) {
  std::string header;
  Put32Be(header, 10000);
  Put32Be(header, 6401);
  header += std::string("\x08\x02\0\0\0", 5);  // 8-bit RGB
  // An empty zlib stream: the header alone is enough to refuse.
  const std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + PngChunk("IHDR", header) +
                          PngChunk("IDAT", std::string("\x78\x9C\x03\0\0\0\0\x01", 8)) +
                          PngChunk("IEND", "");
  try {
    DecodePicture(png);
    FAIL() << "an oversized picture was decoded";
  } catch (const RuntimeError& e) {
    EXPECT_NE(std::string(e.what()).find("64 million"), std::string::npos) << e.what();
  }
}

TEST(PictureLoaderFormatsTest, RefusesWhatIsNoPictureOfTheKnownFormats) {
  EXPECT_THROW(DecodePicture(""), RuntimeError);
  EXPECT_THROW(
      DecodePicture("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\"/>"),
      RuntimeError);
  EXPECT_THROW(DecodePicture("P3\n1 1\n255\n0 0 0\n"), RuntimeError);  // PNM: not read
  EXPECT_THROW(DecodePicture(std::string("\x89PNG\r\n\x1A\n", 8) + std::string(40, 'x')),
               RuntimeError);
}

// --- Files -----------------------------------------------------------------------------------

class PictureFileTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::TempDir() + "picture_loader_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p '" + dir_ + "'").c_str()), 0);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string dir_;
};

// A file that decides how long the program takes or how much it reads is refused first.
TEST_F(PictureFileTest, RefusesHostileFilesWithoutReadingOrDecodingThem) {
  const auto refusal = [](const std::string& path) -> std::string {
    try {
      LoadPicture(path);
      return "loaded";
    } catch (const RuntimeError& e) {
      return e.what();
    }
  };
  // A progressive JPEG of thousands of scans is decoded again for each: a few suffice here.
  std::string jpeg("\xFF\xD8", 2);
  for (int i = 0; i < 65; ++i) jpeg += std::string("\xFF\xDA\x00\x02\x00", 5);
  jpeg += std::string("\xFF\xD9", 2);
  EXPECT_NE(refusal(Write("scans.jpg", jpeg)).find("more than 64 scans"), std::string::npos);
  // A BMP header of 10000 x 10000 pixels: refused from its first bytes, whatever follows.
  std::string bmp = "BM" + std::string(12, '\0');
  for (uint32_t v : {40u, 10000u, 10000u}) {
    for (int k = 0; k < 4; ++k) bmp.push_back(static_cast<char>(v >> (8 * k)));
  }
  EXPECT_EQ(HeaderPixels(bmp), 100'000'000);
  EXPECT_NE(refusal(Write("huge.bmp", bmp + std::string(4096, '\0'))).find("64 million"),
            std::string::npos);
  // 511 MB, within the file limit, behind a first few bytes (sparse files: no disk is used).
  const auto sparse = [&](const std::string& name, const std::string& head) {
    const std::string path = Write(name, head);
    std::filesystem::resize_file(path, uint64_t{511} << 20);
    return path;
  };
  // "BM" and no header a decoder reads: refused from the header, not after the body.
  EXPECT_NE(refusal(sparse("bm.gfx", "BM")).find("BMP header of unknown size"), std::string::npos);
  // A sound header: no more is read than the pixels it states.
  const std::string one_pixel = BmpFile(1, 1, 24, 0, std::string("\1\2\3\0", 4));
  const std::string padded = sparse("padded.bmp", one_pixel);
  EXPECT_EQ(ReadPictureFile(padded), one_pixel);
  EXPECT_EQ(LoadPicture(padded)->pixel(0, 0), 0xFF030201u);
  // A FIFO in the picture's place would hold the reader up for ever.
  const std::string fifo = dir_ + "/fifo.bmp";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_NE(refusal(fifo).find("not readable"), std::string::npos);
  EXPECT_NE(refusal(dir_ + "/absent.bmp").find("not found"), std::string::npos);
}

TEST_F(PictureFileTest, FindsTheFormatFromTheContentWhateverTheName) {
  GdkPixbuf* opaque = TwoColours(false);
  const std::string png = Write("KORDEL1A.GFX", Saved(opaque, "png"));
  const std::string gif = Write("form.bmp", Gif());
  g_object_unref(opaque);
  EXPECT_EQ(LoadPicture(png)->pixel(15, 0), 0xFF0000FFu);
  ExpectPalettePicture(LoadPicture(gif), 4);
}

// Only the header is read for the size where it states it; the decoder gives the same size.
TEST_F(PictureFileTest, TheSizeAloneComesFromTheHeaderAndAgreesWithTheDecoder) {
  // 23 x 11, so that a width and height read the wrong way round show.
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, 23, 11);
  gdk_pixbuf_fill(pixbuf, 0x336699FF);
  struct Case {
    std::string name, bytes;
    bool from_header;
  };
  std::string top_down = BmpFile(kW, -kH, 8, 256, std::string(8 * kH, '\1'));
  const std::vector<Case> cases = {{"png", Saved(pixbuf, "png"), true},
                                   {"jpeg", Saved(pixbuf, "jpeg"), true},
                                   {"bmp", Saved(pixbuf, "bmp"), true},
                                   {"top-down.bmp", top_down, true},
                                   {"gif", Gif(), true},
                                   {"ico", Saved(pixbuf, "ico"), false},
                                   {"tiff", Saved(pixbuf, "tiff"), false}};
  g_object_unref(pixbuf);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name, c.bytes);
    const PicturePtr decoded = LoadPicture(path);
    bool decoder_ran = false;
    const PixelSize size = ReadPictureSize(path, [&] {
      decoder_ran = true;
      return LoadPicture(path);
    });
    EXPECT_EQ(size, (PixelSize{decoded->width(), decoded->height()}));
    EXPECT_EQ(decoder_ran, !c.from_header);
    if (!c.from_header) continue;
    // The body is never looked at: a cut-off picture still has its size.
    const std::string cut = Write("cut-" + c.name, c.bytes.substr(0, c.bytes.size() * 3 / 4));
    EXPECT_EQ(ReadPictureSize(cut, [&]() -> PicturePtr { throw std::logic_error("decoded"); }),
              size);
  }
  // What cannot be a picture, or one too large, is refused from the header just the same.
  std::string huge = "BM" + std::string(12, '\0');
  for (uint32_t v : {40u, 10000u, 10000u}) Put32(huge, v);
  const auto never = [&]() -> PicturePtr { throw std::logic_error("decoded"); };
  EXPECT_THROW(ReadPictureSize(Write("huge.bmp", huge + std::string(64, '\0')), never),
               RuntimeError);
  EXPECT_THROW(ReadPictureSize(Write("text.gfx", "not a picture at all"), never), RuntimeError);
  EXPECT_THROW(ReadPictureSize(dir_ + "/absent.gfx", never), RuntimeError);
}

TEST_F(PictureFileTest, MissingOrUnreadableFilesAreNotFound) {
  try {
    LoadPicture(dir_ + "/KORDEL9A.GFX");
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kFileNotFound);
  }
  try {
    LoadPicture(dir_);  // a directory
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kFileNotFound);
  }
  EXPECT_THROW(LoadPicture(Write("empty.gfx", "")), RuntimeError);
}

}  // namespace
}  // namespace tolv
