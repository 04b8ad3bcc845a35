// The INI (profile) reader for the job file, read once. Its rules:
// - Lines end at LF, CR LF or CR. A line "[name]" opens a section (text after the first "]" is
//   ignored; a "[" line without "]" is ignored); a line "key=value" is a key of the open section
//   (the key runs to the first "="); a line whose first non-blank character is ";" is a comment;
//   any other line, and keys before the first section, are ignored.
// - Section and key names match without regard to letter case (ASCII, Latin-1, Latin Extended-A,
//   Greek and Cyrillic letters) once blanks around them are dropped.
// - The first section of a name wins: a later section of the same name is ignored as a whole, keys
//   it adds included. In it, the first line of a key wins.
// - Blanks (spaces and tabs) around a value are dropped; then one pair of enclosing single or
// double
//   quotation marks (the same mark at both ends) is removed; then the value is cut to 254
//   characters. ";" inside a value is part of it. A NUL in a value is an ordinary character.
// - Text is decoded by the job file's code page rule (code_page.h), judged over the whole file.
#ifndef TOLV_JOB_PROFILE_H_
#define TOLV_JOB_PROFILE_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace tolv {

// The longest value the reader hands out.
constexpr size_t kProfileValueLimit = 254;

struct ProfileKey {
  std::u32string section;
  std::u32string key;
};

class Profile;

// The lengths, in characters, of the names a reader asks for. A name of n characters takes n to
// 4n bytes, so a name of any other byte length is passed over without being decoded: a file of
// millions of short keys nobody wants costs a comparison a line.
class NameLengths {
 public:
  void Add(size_t length);
  bool MayMatch(size_t bytes) const { return bytes >= shortest_ && (bytes + 3) / 4 <= longest_; }

 private:
  size_t shortest_ = SIZE_MAX;
  size_t longest_ = 0;
};

// The wanted keys of a reader, in the form they are looked up in, made once for every file the
// reader parses.
class ProfileKeys {
 public:
  explicit ProfileKeys(std::span<const ProfileKey> wanted);

 private:
  friend class Profile;
  std::set<std::pair<std::u32string, std::u32string>> names_;  // folded section and key names
  std::set<std::u32string> sections_;                          // folded section names
  NameLengths section_lengths_;
  NameLengths key_lengths_;
};

class Profile {
 public:
  // Parses the file's bytes and keeps every key. Memory grows with the number of keys: meant for
  // small files.
  static Profile Parse(std::string_view bytes);

  // Parses the file's bytes and keeps only the wanted keys, so that a file of any size costs little
  // more memory than the values kept; only those values are decoded. Any other key reads as
  // missing.
  static Profile Parse(std::string_view bytes, std::span<const ProfileKey> wanted);
  static Profile Parse(std::string_view bytes, const ProfileKeys& wanted);

  // The value of the key in the section, or nothing when either is missing.
  std::optional<std::u32string> Value(std::u32string_view section, std::u32string_view key) const;

  // How the file's text was read, and why (JobText::Reading).
  const std::string& encoding() const { return encoding_; }

 private:
  using Name = std::pair<std::u32string, std::u32string>;  // folded section and key names

  // Orders folded names, and compares a folded name with a name as asked for, folding the asked
  // one as it goes: a lookup copies nothing.
  struct NameOrder {
    using is_transparent = void;
    using Asked = std::pair<std::u32string_view, std::u32string_view>;
    bool operator()(const Name& a, const Name& b) const { return a < b; }
    bool operator()(const Name& a, const Asked& b) const { return Compare(a, b) < 0; }
    bool operator()(const Asked& a, const Name& b) const { return Compare(b, a) > 0; }
    static int Compare(const Name& folded, const Asked& asked);
  };

  static Profile Parse(std::string_view bytes, const ProfileKeys* wanted);

  std::map<Name, std::u32string, NameOrder> values_;
  std::string encoding_;
};

// A name in the form names are compared in: letters of either case give the same result.
std::u32string FoldProfileName(std::u32string_view name);

}  // namespace tolv

#endif  // TOLV_JOB_PROFILE_H_
