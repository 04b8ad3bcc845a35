// GIF: the logical screen's size and the first image's, and whether that first image (all that is
// shown) is whole.
#include "picture/format_rules.h"

namespace tolv::format_rules {
namespace {

// Skips a chain of GIF sub-blocks ending with an empty one; false when the data ends first.
bool SkipSubBlocks(std::string_view b, uint64_t& pos) {
  while (pos < b.size()) {
    const uint8_t n = Byte(b, pos++);
    if (n == 0) return true;
    pos += n;
  }
  return false;
}

// Where the blocks begin: after the screen descriptor and its palette.
uint64_t FirstBlock(std::string_view b) {
  const uint8_t flags = Byte(b, 10);
  return 13 + ((flags & 0x80) ? 3u << ((flags & 7) + 1) : 0u);
}

}  // namespace

StatedHeader GifHeader(std::string_view b, uint64_t) {
  StatedHeader stated;
  if (b.size() < 10) return stated;
  const uint32_t screen_width = U16(b, 6);
  const uint32_t screen_height = U16(b, 8);
  stated.pixels = Area(screen_width, screen_height);
  if (b.size() < 13) return stated;
  // The size is stated plainly when the first image covers the whole screen from its corner:
  // what the decoders show is then exactly that image.
  uint64_t pos = FirstBlock(b);
  while (pos < b.size() && Byte(b, pos) == 0x21) {  // extensions before the image
    pos += 2;
    if (!SkipSubBlocks(b, pos)) return stated;
  }
  if (pos + 10 > b.size() || Byte(b, pos) != 0x2C) return stated;
  if (U16(b, pos + 1) == 0 && U16(b, pos + 3) == 0 && U16(b, pos + 5) == screen_width &&
      U16(b, pos + 7) == screen_height) {
    stated.size = PositiveSize(screen_width, screen_height);
  }
  return stated;
}

bool GifComplete(std::string_view b) {
  if (b.size() < 13) return false;
  uint64_t pos = FirstBlock(b);
  while (pos < b.size()) {
    const uint8_t block = Byte(b, pos);
    if (block == 0x21) {  // extension
      pos += 2;
      if (!SkipSubBlocks(b, pos)) return false;
    } else if (block == 0x2C) {  // the first image: all that is shown
      if (pos + 10 > b.size()) return false;
      const uint8_t image_flags = Byte(b, pos + 9);
      pos += 10 + ((image_flags & 0x80) ? 3u << ((image_flags & 7) + 1) : 0u);
      pos += 1;  // LZW minimum code size
      return SkipSubBlocks(b, pos);
    } else {
      return true;  // trailer or damage: the decoder decides
    }
  }
  return false;
}

}  // namespace tolv::format_rules
