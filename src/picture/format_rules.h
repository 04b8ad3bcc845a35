// The rules of each picture format, one file each (bmp.cpp, gif.cpp, ico.cpp, jpeg.cpp, png.cpp),
// and the table that finds a format from its first bytes (picture_format.cpp). Only src/picture
// uses this header; the rest of tolv asks picture_format.h.
#ifndef TOLV_PICTURE_FORMAT_RULES_H_
#define TOLV_PICTURE_FORMAT_RULES_H_

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "picture/picture_format.h"

namespace tolv::format_rules {

// Little- and big-endian reads at pos; the caller has checked that the bytes are there.
inline uint8_t Byte(std::string_view b, uint64_t pos) { return static_cast<uint8_t>(b[pos]); }
inline uint32_t U16(std::string_view b, uint64_t pos) {
  return Byte(b, pos) | (static_cast<uint32_t>(Byte(b, pos + 1)) << 8);
}
inline uint32_t U32(std::string_view b, uint64_t pos) {
  return U16(b, pos) | (U16(b, pos + 2) << 16);
}
inline uint32_t U16Be(std::string_view b, uint64_t pos) {
  return (static_cast<uint32_t>(Byte(b, pos)) << 8) | Byte(b, pos + 1);
}
inline uint32_t U32Be(std::string_view b, uint64_t pos) {
  return (U16Be(b, pos) << 16) | U16Be(b, pos + 2);
}

// What a picture's first bytes state, each field read once.
struct StatedHeader {
  // The pixels the header announces, sizes taken as they stand (a negative height is rows top
  // down); 0 when it does not say.
  int64_t pixels = 0;
  // The size the decoders give, when the header states it plainly.
  std::optional<PixelSize> size;
  // Why the header alone refuses the picture (a header no decoder reads, one that runs past the
  // file's end); nullptr when it does not.
  const char* refusal = nullptr;
  // The most of the file the picture can use: what lies beyond is never looked at by a decoder.
  uint64_t used_bytes = std::numeric_limits<uint64_t>::max();
};

// How much of a file is enough for every format's StatedHeader: a JPEG's frame header may follow
// large metadata.
constexpr size_t kHeadBytes = size_t{256} << 10;

// A width times a height, each taken whatever its sign, without overflow (a 32-bit PNG size
// squared does not fit 64 bits).
inline int64_t Area(int64_t width, int64_t height) {
  const uint64_t w = static_cast<uint64_t>(width < 0 ? -width : width);
  const uint64_t h = static_cast<uint64_t>(height < 0 ? -height : height);
  if (w != 0 && h > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) / w) {
    return std::numeric_limits<int64_t>::max();
  }
  return static_cast<int64_t>(w * h);
}

// A size the decoders would give: both sides positive and within 32 bits.
inline std::optional<PixelSize> PositiveSize(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return std::nullopt;
  return PixelSize{static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

// One format: the bytes it starts with, what its header states (`head`: its first bytes, at most
// kHeadBytes; `file_size`: the whole file's), whether its bytes hold the whole picture, and a
// check of damage its decoder would suffer badly (raises; nullptr: none).
struct FormatRules {
  PictureFormat format;
  std::array<std::string_view, 2> magic;
  StatedHeader (*header)(std::string_view head, uint64_t file_size);
  bool (*complete)(std::string_view bytes);
  void (*check_damage)(std::string_view bytes);
};

// The rules of the format the bytes start like; nullptr for none.
const FormatRules* FindFormat(std::string_view bytes);
// The rules of a format; nullptr for kUnknown.
const FormatRules* RulesOf(PictureFormat format);

StatedHeader BmpHeader(std::string_view head, uint64_t file_size);
bool BmpComplete(std::string_view bytes);

StatedHeader GifHeader(std::string_view head, uint64_t file_size);
bool GifComplete(std::string_view bytes);

bool IcoComplete(std::string_view bytes);

StatedHeader JpegHeader(std::string_view head, uint64_t file_size);
bool JpegComplete(std::string_view bytes);
void CheckJpegScans(std::string_view bytes);

StatedHeader PngHeader(std::string_view head, uint64_t file_size);
bool PngComplete(std::string_view bytes);

// The formats whose header states nothing the checks use (ICO, TIFF).
inline StatedHeader NoHeader(std::string_view, uint64_t) { return {}; }

}  // namespace tolv::format_rules

#endif  // TOLV_PICTURE_FORMAT_RULES_H_
