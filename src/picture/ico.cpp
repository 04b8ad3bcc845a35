// ICO: whether every image the directory lists is there.
#include "picture/format_rules.h"

namespace tolv::format_rules {

bool IcoComplete(std::string_view b) {
  if (b.size() < 6) return false;
  const uint64_t count = U16(b, 4);
  if (6 + 16 * count > b.size()) return false;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t entry = 6 + 16 * i;
    if (uint64_t{U32(b, entry + 12)} + U32(b, entry + 8) > b.size()) return false;
  }
  return true;
}

}  // namespace tolv::format_rules
