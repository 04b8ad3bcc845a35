#include "platform/profile.h"

namespace tolv {

// Placeholder until the job intake lands.
Profile Profile::Parse(std::string_view) { return Profile(); }
std::optional<std::u32string> Profile::Value(std::u32string_view, std::u32string_view) const {
  return std::nullopt;
}

}  // namespace tolv
