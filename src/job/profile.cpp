#include "job/profile.h"

#include <algorithm>
#include <cstdint>

#include "job/code_page.h"

namespace tolv {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The small letter of a capital one; the final sigma reads as sigma, as an upper-case comparison
// would have it. Other characters stay as they are.
char32_t FoldChar(char32_t c) {
  if (c < 0x80) return c >= U'A' && c <= U'Z' ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;     // Latin-1
  if (c == 0x178) return 0xFF;                                  // Y diaeresis
  if (c >= 0x100 && c <= 0x137 && c != 0x130) return c | 1;     // Latin Extended-A
  if (c >= 0x139 && c <= 0x148) return c + ((c & 1) ? 1 : 0);   //   pairs odd/even
  if (c >= 0x14A && c <= 0x177) return c | 1;                   //   pairs even/odd
  if (c >= 0x179 && c <= 0x17E) return c + ((c & 1) ? 1 : 0);   //   pairs odd/even
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;  // Greek
  if (c == 0x3C2) return 0x3C3;                                 //   final sigma
  if (c == 0x386) return 0x3AC;                                 //   with tonos
  if (c >= 0x388 && c <= 0x38A) return c + 0x25;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 0x3F;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;  // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

// The longest piece of a value's bytes that can hold its first kProfileValueLimit characters: a
// value of megabytes is cut before it is decoded.
size_t ValueByteLimit(const JobText& text) {
  return text.is_utf8() ? kProfileValueLimit * 4 : kProfileValueLimit;
}

std::u32string ValueText(const JobText& text, std::string_view bytes) {
  bytes = TrimBlanks(bytes);
  // The quotation marks are ASCII: in UTF-8 and in every code page the last byte being one means
  // the last character is one.
  if (bytes.size() >= 2 && bytes.front() == bytes.back() &&
      (bytes.front() == '"' || bytes.front() == '\'')) {
    bytes = bytes.substr(1, bytes.size() - 2);
  }
  std::u32string value = text.Decode(bytes.substr(0, ValueByteLimit(text)));
  if (value.size() > kProfileValueLimit) value.resize(kProfileValueLimit);
  return value;
}

// Calls line(text) for every line of the body: LF, CR LF and CR end a line.
template <class LineFn>
void ForEachLine(std::string_view body, LineFn&& line) {
  size_t pos = 0;
  while (pos < body.size()) {
    size_t end = pos;
    while (end < body.size() && body[end] != '\n' && body[end] != '\r') ++end;
    line(body.substr(pos, end - pos));
    pos = end;
    if (pos < body.size())
      pos += (body[pos] == '\r' && pos + 1 < body.size() && body[pos + 1] == '\n') ? 2 : 1;
  }
}

}  // namespace

std::u32string FoldProfileName(std::u32string_view name) {
  std::u32string folded(name);
  for (char32_t& c : folded) c = FoldChar(c);
  return folded;
}

Profile Profile::Parse(std::string_view bytes) { return Parse(bytes, nullptr); }

void NameLengths::Add(size_t length) {
  shortest_ = std::min(shortest_, length);
  longest_ = std::max(longest_, length);
}

ProfileKeys::ProfileKeys(std::span<const ProfileKey> wanted) {
  for (const ProfileKey& key : wanted) {
    names_.emplace(FoldProfileName(key.section), FoldProfileName(key.key));
    sections_.insert(FoldProfileName(key.section));
    section_lengths_.Add(key.section.size());
    key_lengths_.Add(key.key.size());
  }
}

Profile Profile::Parse(std::string_view bytes, std::span<const ProfileKey> wanted) {
  return Parse(bytes, ProfileKeys(wanted));
}

Profile Profile::Parse(std::string_view bytes, const ProfileKeys& wanted) {
  return Parse(bytes, &wanted);
}

Profile Profile::Parse(std::string_view bytes, const ProfileKeys* wanted) {
  const JobText text(bytes);

  Profile profile;
  profile.encoding_ = text.Reading();
  std::set<std::u32string> seen_sections;
  std::optional<std::u32string> open_section;  // empty while no section, or one to be ignored
  ForEachLine(text.body(), [&](std::string_view line) {
    const std::string_view content = TrimBlanks(line);
    if (content.empty() || content.front() == ';') return;
    if (content.front() == '[') {
      const size_t close = content.find(']');
      if (close == std::string_view::npos) return;
      open_section.reset();
      const std::string_view section_bytes = TrimBlanks(content.substr(1, close - 1));
      if (wanted != nullptr && !wanted->section_lengths_.MayMatch(section_bytes.size())) return;
      std::u32string section = FoldProfileName(text.Decode(section_bytes));
      if (wanted != nullptr && wanted->sections_.count(section) == 0) return;
      if (seen_sections.insert(section).second) open_section = std::move(section);
      return;
    }
    if (!open_section) return;
    const size_t equals = content.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view key_bytes = TrimBlanks(content.substr(0, equals));
    if (wanted != nullptr && !wanted->key_lengths_.MayMatch(key_bytes.size())) return;
    Name name(*open_section, FoldProfileName(text.Decode(key_bytes)));
    if (wanted != nullptr && wanted->names_.count(name) == 0) return;
    if (profile.values_.count(name) != 0) return;
    profile.values_.emplace(std::move(name), ValueText(text, content.substr(equals + 1)));
  });
  return profile;
}

namespace {

// Compares a folded name with one as asked for, the asked one folded character by character.
int CompareFolded(std::u32string_view folded, std::u32string_view asked) {
  const size_t common = std::min(folded.size(), asked.size());
  for (size_t i = 0; i < common; ++i) {
    const char32_t a = folded[i];
    const char32_t b = FoldChar(asked[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  return folded.size() < asked.size() ? -1 : (folded.size() > asked.size() ? 1 : 0);
}

}  // namespace

int Profile::NameOrder::Compare(const Name& folded, const Asked& asked) {
  const int section = CompareFolded(folded.first, asked.first);
  return section != 0 ? section : CompareFolded(folded.second, asked.second);
}

std::optional<std::u32string> Profile::Value(std::u32string_view section,
                                             std::u32string_view key) const {
  const auto found = values_.find(NameOrder::Asked(section, key));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

}  // namespace tolv
