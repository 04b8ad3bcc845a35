#include "picture/picture_format.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include "runtime/file_path.h"
#include "runtime/file_reader.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

// A larger file cannot be a picture of at most kMaxPicturePixels in any of the formats read (a
// 32-bit BMP of that size is 256 MB).
constexpr uint64_t kMaxPictureFileBytes = uint64_t{512} << 20;
// Enough of every format read to find its kind and, where the header says, its size.
constexpr size_t kPictureHeaderBytes = 64;
// How far a picture is read for its size alone: a JPEG's frame header may follow large metadata.
constexpr size_t kPictureSizeHeadBytes = size_t{256} << 10;

// Little- and big-endian reads at pos; the caller has checked that the bytes are there.
uint32_t U16(std::string_view b, size_t pos) {
  return static_cast<uint8_t>(b[pos]) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b[pos + 1])) << 8);
}
uint32_t U32(std::string_view b, size_t pos) { return U16(b, pos) | (U16(b, pos + 2) << 16); }
uint32_t U32Be(std::string_view b, size_t pos) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(b[pos])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b[pos + 1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b[pos + 2])) << 8) |
         static_cast<uint8_t>(b[pos + 3]);
}
uint32_t U16Be(std::string_view b, size_t pos) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(b[pos])) << 8) |
         static_cast<uint8_t>(b[pos + 1]);
}
uint8_t Byte(std::string_view b, size_t pos) { return static_cast<uint8_t>(b[pos]); }

bool StartsWith(std::string_view bytes, std::string_view magic) {
  return bytes.substr(0, magic.size()) == magic;
}

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
  switch (compression) {
    case 0:  // uncompressed
    case 3:  // bit fields
    case 6: {
      // Every row is padded to 32 bits; the last row's padding may be missing.
      const uint64_t row_bits = columns * bpp;
      const uint64_t stride = (row_bits + 31) / 32 * 4;
      const uint64_t needed = data_offset + stride * (rows - 1) + (row_bits + 7) / 8;
      return needed <= b.size();
    }
    case 1:
      return RleComplete(b, data_offset, rows, false);
    case 2:
      return RleComplete(b, data_offset, rows, true);
    default:
      return true;  // embedded JPEG or PNG, or unknown: the decoder decides
  }
}

bool PngComplete(std::string_view b) {
  uint64_t pos = 8;
  while (pos + 12 <= b.size()) {
    const uint64_t length = U32Be(b, pos);
    const std::string_view type = b.substr(pos + 4, 4);
    pos += 12 + length;
    if (pos > b.size()) return false;
    if (type == "IEND") return true;
  }
  return false;
}

// A progressive JPEG is decoded again for every scan: thousands of tiny scans take minutes. Real
// pictures have at most a dozen.
constexpr int kMaxJpegScans = 64;

// Walks a JPEG's segments: whether it reaches its end mark, and how many scans it holds.
bool JpegComplete(std::string_view b, int* scans = nullptr) {
  int scan_count = 0;
  if (scans == nullptr) scans = &scan_count;
  *scans = 0;
  size_t pos = 2;  // after SOI
  while (pos < b.size()) {
    if (Byte(b, pos) != 0xFF) {
      ++pos;  // stray byte between segments
      continue;
    }
    while (pos < b.size() && Byte(b, pos) == 0xFF) ++pos;  // fill bytes
    if (pos >= b.size()) return false;
    const uint8_t marker = Byte(b, pos++);
    if (marker == 0xD9) return true;                                     // EOI
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (pos + 2 > b.size()) return false;
    pos += (static_cast<size_t>(Byte(b, pos)) << 8) | Byte(b, pos + 1);
    if (pos > b.size()) return false;
    if (marker == 0xDA) {
      ++*scans;
      // Entropy-coded data runs to the next marker that is neither a stuffed 0xFF00 nor a
      // restart marker.
      while (pos + 1 < b.size()) {
        if (Byte(b, pos) == 0xFF) {
          const uint8_t next = Byte(b, pos + 1);
          if (next != 0x00 && !(next >= 0xD0 && next <= 0xD7) && next != 0xFF) break;
        }
        ++pos;
      }
      if (pos + 1 >= b.size()) return false;
    }
  }
  return false;
}

// Skips a chain of GIF sub-blocks ending with an empty one; false when the data ends first.
bool SkipGifSubBlocks(std::string_view b, uint64_t& pos) {
  while (pos < b.size()) {
    const uint8_t n = Byte(b, pos++);
    if (n == 0) return true;
    pos += n;
  }
  return false;
}

bool GifComplete(std::string_view b) {
  if (b.size() < 13) return false;
  const uint8_t flags = Byte(b, 10);
  uint64_t pos = 13 + ((flags & 0x80) ? 3u << ((flags & 7) + 1) : 0u);
  while (pos < b.size()) {
    const uint8_t block = Byte(b, pos);
    if (block == 0x21) {  // extension
      pos += 2;
      if (!SkipGifSubBlocks(b, pos)) return false;
    } else if (block == 0x2C) {  // the first image: all that is shown
      if (pos + 10 > b.size()) return false;
      const uint8_t image_flags = Byte(b, pos + 9);
      pos += 10 + ((image_flags & 0x80) ? 3u << ((image_flags & 7) + 1) : 0u);
      pos += 1;  // LZW minimum code size
      return SkipGifSubBlocks(b, pos);
    } else {
      return true;  // trailer or damage: the decoder decides
    }
  }
  return false;
}

bool IcoComplete(std::string_view b) {
  if (b.size() < 6) return false;
  const uint64_t count = U16(b, 4);
  if (6 + 16 * count > b.size()) return false;
  for (uint64_t i = 0; i < count; ++i) {
    const size_t entry = 6 + 16 * i;
    if (uint64_t{U32(b, entry + 12)} + U32(b, entry + 8) > b.size()) return false;
  }
  return true;
}

}  // namespace

void RefusePicture(const std::string& why) {
  throw RuntimeError(ErrorKind::kInvalidArgument, "invalid picture: " + why);
}

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

PictureFormat SniffPictureFormat(std::string_view b) {
  if (StartsWith(b, "BM")) return PictureFormat::kBmp;
  if (StartsWith(b, "GIF87a") || StartsWith(b, "GIF89a")) return PictureFormat::kGif;
  if (StartsWith(b, "\xFF\xD8\xFF")) return PictureFormat::kJpeg;
  if (StartsWith(b, "\x89PNG\r\n\x1A\n")) return PictureFormat::kPng;
  if (StartsWith(b, std::string_view("\0\0\1\0", 4))) return PictureFormat::kIco;
  if (StartsWith(b, std::string_view("II*\0", 4)) || StartsWith(b, std::string_view("MM\0*", 4))) {
    return PictureFormat::kTiff;
  }
  return PictureFormat::kUnknown;
}

bool PictureDataComplete(PictureFormat format, std::string_view bytes) {
  switch (format) {
    case PictureFormat::kBmp:
      return BmpComplete(bytes);
    case PictureFormat::kGif:
      return GifComplete(bytes);
    case PictureFormat::kJpeg:
      return JpegComplete(bytes);
    case PictureFormat::kPng:
      return PngComplete(bytes);
    case PictureFormat::kIco:
      return IcoComplete(bytes);
    case PictureFormat::kTiff:
      return true;
    case PictureFormat::kUnknown:
      return false;
  }
  return false;
}

PictureFormat CheckPictureBytes(std::string_view bytes) {
  const PictureFormat format = SniffPictureFormat(bytes);
  if (format == PictureFormat::kUnknown) RefusePicture("unknown format");
  if (!PictureDataComplete(format, bytes)) RefusePicture("truncated");
  if (int scans = 0;
      format == PictureFormat::kJpeg && JpegComplete(bytes, &scans) && scans > kMaxJpegScans) {
    RefusePicture("damaged: more than " + std::to_string(kMaxJpegScans) + " scans");
  }
  return format;
}

int64_t HeaderPixels(std::string_view b) {
  const auto area = [](int64_t width, int64_t height) {
    return (width < 0 ? -width : width) * (height < 0 ? -height : height);
  };
  switch (SniffPictureFormat(b)) {
    case PictureFormat::kBmp:
      // A Windows header gives 32-bit sizes, an OS/2 one 16-bit sizes.
      if (b.size() >= 26 && U32(b, 14) >= 40) {
        return area(static_cast<int32_t>(U32(b, 18)), static_cast<int32_t>(U32(b, 22)));
      }
      if (b.size() >= 22 && U32(b, 14) == 12) return area(U16(b, 18), U16(b, 20));
      return 0;
    case PictureFormat::kPng:
      return b.size() >= 24 ? area(U32Be(b, 16), U32Be(b, 20)) : 0;
    case PictureFormat::kGif:
      return b.size() >= 10 ? area(U16(b, 6), U16(b, 8)) : 0;
    default:
      return 0;  // the decoder announces the size before decoding, and is held to it then
  }
}

void CheckPictureSize(int64_t width, int64_t height) {
  if (width * height > kMaxPicturePixels) RefusePicture("too large");
}

namespace {

// A picture file opened without blocking and checked on its descriptor: a pipe or device in the
// picture's place is not a picture, and is never waited on. A file too large to hold a picture
// within the limit is refused before any of it is read.
class PictureFile {
 public:
  explicit PictureFile(const std::string& path)
      : path_(path), file_(path, kMaxPictureFileBytes + 1) {
    if (file_.status() == FileRead::Status::kMissing) {
      throw RuntimeError(ErrorKind::kFileNotFound, "file not found: " + path);
    }
    if (file_.status() != FileRead::Status::kRead) Unreadable();
    if (file_.size() > kMaxPictureFileBytes) RefusePicture("file too large");
  }

  size_t size() const { return static_cast<size_t>(file_.size()); }

  void Read(char* data, size_t count) {
    if (file_.Read(reinterpret_cast<unsigned char*>(data), count) !=
        static_cast<long long>(count)) {
      Unreadable();
    }
  }

 private:
  [[noreturn]] void Unreadable() const {
    throw RuntimeError(ErrorKind::kFileNotFound, "file not readable: " + path_);
  }

  const std::string& path_;
  BoundedFile file_;
};

// The checks on a picture's first bytes: a file that is no picture, or a picture too large, is
// refused before its body is read.
void CheckPictureHead(std::string_view head) {
  if (SniffPictureFormat(head) == PictureFormat::kUnknown) RefusePicture("unknown format");
  if (HeaderPixels(head) > kMaxPicturePixels) RefusePicture("over 64 million pixels");
}

std::optional<PixelSize> PositiveSize(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return std::nullopt;
  return PixelSize{static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

// The first image's descriptor, when it covers the whole logical screen from its corner (what the
// decoders show is then exactly that image's size).
std::optional<PixelSize> GifHeaderSize(std::string_view b) {
  if (b.size() < 13) return std::nullopt;
  const uint8_t flags = Byte(b, 10);
  uint64_t pos = 13 + ((flags & 0x80) ? 3u << ((flags & 7) + 1) : 0u);
  while (pos < b.size() && Byte(b, pos) == 0x21) {  // extensions before the image
    pos += 2;
    if (!SkipGifSubBlocks(b, pos)) return std::nullopt;
  }
  if (pos + 10 > b.size() || Byte(b, pos) != 0x2C) return std::nullopt;
  if (U16(b, pos + 1) != 0 || U16(b, pos + 3) != 0 || U16(b, pos + 5) != U16(b, 6) ||
      U16(b, pos + 7) != U16(b, 8)) {
    return std::nullopt;
  }
  return PositiveSize(U16(b, 6), U16(b, 8));
}

// The frame header (SOF0 to SOF15 but DHT, JPG and DAC), found by walking the segments before it.
std::optional<PixelSize> JpegHeaderSize(std::string_view b) {
  size_t pos = 2;  // after SOI
  while (pos + 4 <= b.size()) {
    if (Byte(b, pos) != 0xFF) return std::nullopt;
    while (pos < b.size() && Byte(b, pos) == 0xFF) ++pos;  // fill bytes
    if (pos + 3 > b.size()) return std::nullopt;
    const uint8_t marker = Byte(b, pos++);
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // data before any frame header
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    const size_t length = (static_cast<size_t>(Byte(b, pos)) << 8) | Byte(b, pos + 1);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (length < 8 || pos + 7 > b.size()) return std::nullopt;
      return PositiveSize(U16Be(b, pos + 5), U16Be(b, pos + 3));
    }
    pos += length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<PixelSize> HeaderSize(std::string_view b) {
  switch (SniffPictureFormat(b)) {
    case PictureFormat::kBmp:
      // A Windows header's height is negative for rows from the top down; an OS/2 one's sizes
      // are 16-bit.
      if (b.size() >= 26 && U32(b, 14) >= 40) {
        const int64_t height = static_cast<int32_t>(U32(b, 22));
        return PositiveSize(static_cast<int32_t>(U32(b, 18)), height < 0 ? -height : height);
      }
      if (b.size() >= 22 && U32(b, 14) == 12) return PositiveSize(U16(b, 18), U16(b, 20));
      return std::nullopt;
    case PictureFormat::kPng:
      if (b.size() < 24 || b.substr(12, 4) != "IHDR") return std::nullopt;
      return PositiveSize(U32Be(b, 16), U32Be(b, 20));
    case PictureFormat::kGif:
      return GifHeaderSize(b);
    case PictureFormat::kJpeg:
      return JpegHeaderSize(b);
    default:
      return std::nullopt;
  }
}

std::string ReadPictureFile(const std::string& path) {
  PictureFile file(path);
  std::string bytes(file.size(), '\0');
  const size_t header = std::min(bytes.size(), kPictureHeaderBytes);
  file.Read(bytes.data(), header);
  CheckPictureHead(std::string_view(bytes.data(), header));
  file.Read(bytes.data() + header, bytes.size() - header);
  return bytes;
}

PixelSize ReadPictureSize(const std::string& path, const std::function<PicturePtr()>& decode) {
  std::optional<PixelSize> size;
  {
    PictureFile file(path);
    std::string head(std::min(file.size(), kPictureSizeHeadBytes), '\0');
    file.Read(head.data(), head.size());
    CheckPictureHead(head);
    size = HeaderSize(head);
  }
  if (!size) {
    const PicturePtr picture = decode();
    return {picture->width(), picture->height()};
  }
  CheckPictureSize(size->width, size->height);
  return *size;
}

}  // namespace tolv
