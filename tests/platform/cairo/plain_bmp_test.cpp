// Plain BMP pictures (uncompressed 1, 4, 8 and 24-bit) are read without gdk-pixbuf: the pixels
// must be exactly those gdk-pixbuf gives, for every depth, row order, header and palette length.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/cairo/picture_loader.h"

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

struct BmpShape {
  int32_t width;
  int32_t height;  // negative: rows top-down
  int bpp;
  uint32_t header_size;   // 40, 108 or 124
  uint32_t palette_size;  // entries in the file; 0 writes biClrUsed 0 and a full palette
  uint32_t gap = 0;       // bytes between the palette and the pixels
};

// A BMP file of random palette and pixels.
std::string RandomBmp(const BmpShape& shape, std::mt19937& random) {
  const uint32_t entries =
      shape.bpp > 8 ? 0 : (shape.palette_size != 0 ? shape.palette_size : 1u << shape.bpp);
  std::string palette;
  for (uint32_t i = 0; i < entries * 4; ++i) palette.push_back(static_cast<char>(random()));
  const uint32_t abs_height =
      static_cast<uint32_t>(shape.height < 0 ? -shape.height : shape.height);
  const uint32_t row_bytes = (static_cast<uint32_t>(shape.width) * shape.bpp + 7) / 8;
  const uint32_t stride = (row_bytes + 3) / 4 * 4;
  std::string data;
  for (uint32_t i = 0; i < stride * abs_height; ++i) data.push_back(static_cast<char>(random()));

  std::string info;
  Put32(info, shape.header_size);
  Put32(info, static_cast<uint32_t>(shape.width));
  Put32(info, static_cast<uint32_t>(shape.height));
  Put16(info, 1);
  Put16(info, static_cast<uint32_t>(shape.bpp));
  Put32(info, 0);  // uncompressed
  Put32(info, static_cast<uint32_t>(data.size()));
  Put32(info, 3780);
  Put32(info, 3780);
  Put32(info, shape.palette_size);
  Put32(info, 0);
  info.resize(shape.header_size, '\0');
  const uint32_t offset =
      14 + shape.header_size + static_cast<uint32_t>(palette.size()) + shape.gap;
  std::string file = "BM";
  Put32(file, offset + static_cast<uint32_t>(data.size()));
  Put32(file, 0);
  Put32(file, offset);
  return file + info + palette + std::string(shape.gap, '\x55') + data;
}

// The same bytes through gdk-pixbuf, as 0xFFRRGGBB; empty when it refuses them.
std::vector<uint32_t> GdkPixels(const std::string& bytes) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("bmp", nullptr);
  gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(),
                          nullptr);
  gdk_pixbuf_loader_close(loader, nullptr);
  std::vector<uint32_t> pixels;
  if (GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader)) {
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guint8* data = gdk_pixbuf_read_pixels(pixbuf);
    for (int y = 0; y < gdk_pixbuf_get_height(pixbuf); ++y) {
      for (int x = 0; x < gdk_pixbuf_get_width(pixbuf); ++x) {
        const guint8* p =
            data + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * channels;
        pixels.push_back(0xFF000000u | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]);
      }
    }
  }
  g_object_unref(loader);
  return pixels;
}

TEST(PlainBmpTest, GivesTheSamePixelsAsGdkPixbuf) {
  std::mt19937 random(2024);
  const int depths[] = {1, 4, 8, 24};
  const uint32_t headers[] = {40, 108, 124};
  int checked = 0;
  for (int round = 0; round < 240; ++round) {
    BmpShape shape{};
    shape.bpp = depths[round % 4];
    shape.header_size = headers[(round / 4) % 3];
    shape.width = 1 + static_cast<int32_t>(random() % 70);
    shape.height = (1 + static_cast<int32_t>(random() % 9)) * ((round / 12) % 2 == 0 ? 1 : -1);
    if (shape.bpp <= 8) {
      // A full palette given as 0, a full one given by count, or a short one whose missing
      // entries read as black.
      const uint32_t full = 1u << shape.bpp;
      const uint32_t choice = random() % 3;
      shape.palette_size = choice == 0 ? 0 : choice == 1 ? full : 1 + random() % full;
    }
    const std::string bytes = RandomBmp(shape, random);
    const std::vector<uint32_t> expected = GdkPixels(bytes);
    ASSERT_FALSE(expected.empty()) << "round " << round;
    const PicturePtr picture = DecodePicture(bytes);
    ASSERT_EQ(picture->width(), shape.width) << "round " << round;
    ASSERT_EQ(picture->height(), shape.height < 0 ? -shape.height : shape.height);
    ASSERT_EQ(picture->pixels(), expected)
        << "round " << round << ": " << shape.bpp << " bits, header " << shape.header_size
        << ", palette " << shape.palette_size << ", height " << shape.height;
    ++checked;
  }
  EXPECT_EQ(checked, 240);
}

TEST(PlainBmpTest, UnusualLayoutsStillDecodeAsGdkPixbufDecodesThem) {
  // A gap before the pixels, an oversized palette count: left to gdk-pixbuf, whatever it makes of
  // them.
  std::mt19937 random(7);
  BmpShape gap{13, 5, 8, 40, 0, 8};
  const std::string with_gap = RandomBmp(gap, random);
  const std::vector<uint32_t> expected = GdkPixels(with_gap);
  if (!expected.empty()) {
    EXPECT_EQ(DecodePicture(with_gap)->pixels(), expected);
  }

  BmpShape oversized{4, 4, 1, 40, 3};  // three palette entries for a 1-bit picture
  EXPECT_ANY_THROW(DecodePicture(RandomBmp(oversized, random)));
}

}  // namespace
}  // namespace tolv
