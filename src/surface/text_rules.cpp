#include "surface/text_rules.h"

#include "runtime/runtime.h"

namespace tolv {

void CheckFontSize(float points) {
  if (!(points > 0) || !(points <= kMaxFontPoints)) {
    throw RuntimeError(ErrorKind::kInvalidArgument, "invalid font size");
  }
}

std::u32string DrawnText(std::u32string text) {
  for (char32_t& c : text) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      c = U' ';
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      c = 0xFFFD;
    }
  }
  return text;
}

}  // namespace tolv
