// BMP: the header's size and layout, whether the pixel rows are all there, and the direct reader
// of plain BMP files.
#include <algorithm>
#include <vector>

#include "picture/format_rules.h"

namespace tolv {
namespace format_rules {
namespace {

// RLE8 and RLE4 data: complete when it reaches its end-of-bitmap mark, or the end of its last
// row. A stream cut before either lost rows.
bool RleComplete(std::string_view b, uint64_t pos, uint64_t rows, bool rle4) {
  uint64_t row = 0;
  while (pos + 2 <= b.size()) {
    const uint8_t count = Byte(b, pos);
    const uint8_t value = Byte(b, pos + 1);
    pos += 2;
    if (count > 0) continue;  // a run of `count` pixels
    switch (value) {
      case 0:  // end of row
        if (++row >= rows) return true;
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // move right and down
        if (pos + 2 > b.size()) return false;
        row += Byte(b, pos + 1);
        if (row >= rows) return true;
        pos += 2;
        break;
      default: {  // `value` literal pixels, padded to a whole 16-bit word
        const uint64_t bytes = rle4 ? (value + 1u) / 2 : value;
        pos += (bytes + 1) & ~uint64_t{1};
        break;
      }
    }
  }
  return false;
}

// Uncompressed rows (plain or with bit fields): their length follows from the header.
bool Uncompressed(uint32_t compression) {
  return compression == 0 || compression == 3 || compression == 6;
}

}  // namespace

StatedHeader BmpHeader(std::string_view b, uint64_t file_size) {
  StatedHeader stated;
  if (b.size() < 18) return stated;
  // A Windows header (40 bytes or more) gives 32-bit sizes, the height negative for rows from the
  // top down; an OS/2 one (12 bytes) 16-bit sizes. No decoder reads any other.
  const uint32_t header_size = U32(b, 14);
  if (header_size != 12 && header_size < 40) {
    stated.refusal = "BMP header of unknown size";
    return stated;
  }
  // The decoder allocates what the header claims before it reads on: a header that runs past the
  // end is a cut file.
  if (uint64_t{14} + header_size > file_size) stated.refusal = "truncated";
  const bool os2 = header_size == 12;
  if (b.size() < (os2 ? 22u : 26u)) return stated;
  const int64_t width = os2 ? int64_t{U16(b, 18)} : int64_t{static_cast<int32_t>(U32(b, 18))};
  const int64_t height = os2 ? int64_t{U16(b, 20)} : int64_t{static_cast<int32_t>(U32(b, 22))};
  stated.pixels = Area(width, height);
  stated.size = PositiveSize(width, height < 0 ? -height : height);

  // Uncompressed pixels end where the header says: the palette (and bit fields) before them, one
  // row padded to 32 bits after another.
  if (stated.refusal != nullptr || b.size() < (os2 ? 26u : 54u) ||
      stated.pixels > kMaxPicturePixels) {
    return stated;
  }
  const uint32_t bpp = os2 ? U16(b, 24) : U16(b, 28);
  const uint32_t compression = os2 ? 0 : U32(b, 30);
  if (!Uncompressed(compression)) return stated;
  uint64_t palette = 0;
  if (bpp <= 8) {
    const uint32_t used = os2 ? 0 : U32(b, 46);
    palette = (used != 0 ? used : uint64_t{1} << bpp) * (os2 ? 3 : 4);
  }
  // A 40-byte header's bit fields (three or four masks) follow it.
  const uint64_t masks = header_size == 40 && compression != 0 ? 16 : 0;
  const uint64_t pixels_at = std::max<uint64_t>(U32(b, 10), 14 + header_size + masks + palette);
  const uint64_t columns = static_cast<uint64_t>(width < 0 ? -width : width);
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
  const uint64_t stride = (columns * bpp + 31) / 32 * 4;
  stated.used_bytes = pixels_at + stride * rows;
  return stated;
}

bool BmpComplete(std::string_view b) {
  if (b.size() < 18) return false;
  const uint64_t data_offset = U32(b, 10);
  const uint32_t header_size = U32(b, 14);
  // The decoder allocates what the header claims before it reads on (4 GB for a damaged size
  // field or colour count): a header or palette that runs past the end is a cut file.
  if (uint64_t{14} + header_size > b.size()) return false;
  int64_t width = 0;
  int64_t height = 0;
  uint32_t bpp = 0;
  uint32_t compression = 0;
  if (header_size == 12) {
    if (b.size() < 26) return false;
    width = U16(b, 18);
    height = U16(b, 20);
    bpp = U16(b, 24);
  } else if (header_size >= 40) {
    if (b.size() < 54) return false;
    width = static_cast<int32_t>(U32(b, 18));
    height = static_cast<int32_t>(U32(b, 22));
    bpp = U16(b, 28);
    compression = U32(b, 30);
  } else {
    return true;  // a header the decoder refuses itself
  }
  if (bpp <= 8) {
    const uint32_t used = header_size == 12 ? 0 : U32(b, 46);
    const uint64_t colors = used != 0 ? used : uint64_t{1} << bpp;
    if (14 + header_size + colors * (header_size == 12 ? 3 : 4) > b.size()) return false;
  }
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
  const uint64_t columns = static_cast<uint64_t>(width < 0 ? -width : width);
  if (rows == 0 || columns == 0 || data_offset > b.size()) return data_offset <= b.size();
  if (Uncompressed(compression)) {
    // Every row is padded to 32 bits; the last row's padding may be missing.
    const uint64_t row_bits = columns * bpp;
    const uint64_t stride = (row_bits + 31) / 32 * 4;
    const uint64_t needed = data_offset + stride * (rows - 1) + (row_bits + 7) / 8;
    return needed <= b.size();
  }
  switch (compression) {
    case 1:
      return RleComplete(b, data_offset, rows, false);
    case 2:
      return RleComplete(b, data_offset, rows, true);
    default:
      return true;  // embedded JPEG or PNG, or unknown: the decoder decides
  }
}

}  // namespace format_rules

using format_rules::Byte;
using format_rules::U16;
using format_rules::U32;

// The plain BMP files most form pictures are (an uncompressed 1, 4, 8 or 24-bit picture with a
// Windows header, the palette right after it and the pixels right after that) are read here
// directly into the picture's pixels: gdk-pixbuf makes an RGB copy first and then takes 10 ms
// of a 2087 x 3040 page, three times what this takes. The pixels are the ones gdk-pixbuf gives,
// rule for rule: rows bottom-up unless the height is negative, the first pixel of a byte in its
// highest bits, palette entries blue, green, red, a palette shorter than the depth allows read as
// black beyond its end. Anything else (another header, compression or depth, gaps before the
// pixels) returns nullptr and goes to gdk-pixbuf. The caller has checked that the rows are all
// there.
PicturePtr DecodePlainBmp(std::string_view b) {
  if (b.size() < 54) return nullptr;
  const uint32_t data_offset = U32(b, 10);
  const uint32_t header_size = U32(b, 14);
  if (header_size != 40 && header_size != 108 && header_size != 124) return nullptr;
  if (b.size() < 14 + uint64_t{header_size}) return nullptr;
  const auto width = static_cast<int32_t>(U32(b, 18));
  const auto raw_height = static_cast<int32_t>(U32(b, 22));
  const uint32_t bpp = U16(b, 28);
  const uint32_t compression = U32(b, 30);
  const uint32_t colours_used = U32(b, 46);
  if (compression != 0 || width <= 0 || raw_height == 0 || raw_height == INT32_MIN) return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return nullptr;
  const int32_t height = raw_height < 0 ? -raw_height : raw_height;
  if (static_cast<int64_t>(width) * height > kMaxPicturePixels) return nullptr;
  if (colours_used > (uint32_t{1} << bpp)) return nullptr;

  // The palette, as many entries as the depth allows, black beyond the file's.
  std::vector<uint32_t> palette;
  uint64_t pixels_at = 14 + uint64_t{header_size};
  if (bpp <= 8) {
    const uint32_t entries = colours_used != 0 ? colours_used : (uint32_t{1} << bpp);
    if (pixels_at + 4 * uint64_t{entries} > b.size()) return nullptr;
    palette.assign(size_t{1} << bpp, 0xFF000000u);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint64_t at = pixels_at + 4 * uint64_t{i};
      palette[i] = 0xFF000000u | (uint32_t{Byte(b, at + 2)} << 16) |
                   (uint32_t{Byte(b, at + 1)} << 8) | Byte(b, at);
    }
    pixels_at += 4 * uint64_t{entries};
  }
  if (data_offset != pixels_at) return nullptr;

  const uint64_t row_bytes = (uint64_t{static_cast<uint32_t>(width)} * bpp + 7) / 8;
  const uint64_t stride = (row_bytes + 3) / 4 * 4;
  if (pixels_at + stride * (static_cast<uint64_t>(height) - 1) + row_bytes > b.size()) {
    return nullptr;
  }
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    // Bottom-up unless the height is negative.
    const int32_t file_row = raw_height > 0 ? height - 1 - y : y;
    const auto* src = reinterpret_cast<const uint8_t*>(b.data()) + pixels_at +
                      stride * static_cast<uint64_t>(file_row);
    uint32_t* dst = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    switch (bpp) {
      case 1:
        for (int32_t x = 0; x < width; ++x) dst[x] = palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
        break;
      case 4:
        for (int32_t x = 0; x < width; ++x) {
          dst[x] = palette[(x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4)];
        }
        break;
      case 8:
        for (int32_t x = 0; x < width; ++x) dst[x] = palette[src[x]];
        break;
      default:  // 24: blue, green, red
        for (int32_t x = 0; x < width; ++x, src += 3) {
          dst[x] = 0xFF000000u | (uint32_t{src[2]} << 16) | (uint32_t{src[1]} << 8) | src[0];
        }
        break;
    }
  }
  return std::make_shared<Picture>(width, height, std::move(pixels));
}

}  // namespace tolv
