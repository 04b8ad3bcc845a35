// PNG: the size in its header chunk, and whether the chunks run to the end chunk.
#include "picture/format_rules.h"

namespace tolv::format_rules {

StatedHeader PngHeader(std::string_view b, uint64_t) {
  StatedHeader stated;
  if (b.size() < 24) return stated;
  const int64_t width = U32Be(b, 16);
  const int64_t height = U32Be(b, 20);
  stated.pixels = Area(width, height);
  // The size is the header chunk's, which comes first in every PNG the decoders read.
  if (b.substr(12, 4) == "IHDR") stated.size = PositiveSize(width, height);
  return stated;
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

}  // namespace tolv::format_rules
