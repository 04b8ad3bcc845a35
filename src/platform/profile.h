// The INI (profile) reader for the job file, read once. Its rules: section and key names match
// without regard to letter case; the first matching section and the first matching key in it win;
// blanks around a value are dropped; one pair of enclosing single or double quotation marks is
// removed; a value is cut to 254 characters; ";" starts a comment only at the start of a line.
#ifndef TOLV_PLATFORM_PROFILE_H_
#define TOLV_PLATFORM_PROFILE_H_

#include <optional>
#include <string>
#include <string_view>

namespace tolv {

class Profile {
 public:
  // Parses the file's bytes; text is decoded by the job file's code page rule (code_page.h).
  static Profile Parse(std::string_view bytes);

  // The value of the key in the section, or nothing when either is missing.
  std::optional<std::u32string> Value(std::u32string_view section, std::u32string_view key) const;

 private:
  struct Impl;
  // (filled in by the implementation)
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_PROFILE_H_
