#include "platform/code_page.h"

namespace tolv {

// Placeholder until the job intake lands.
std::u32string DecodeJobText(std::string_view bytes) { return std::u32string(bytes.begin(), bytes.end()); }
std::string ToUtf8(std::u32string_view text) { return std::string(text.begin(), text.end()); }

}  // namespace tolv
