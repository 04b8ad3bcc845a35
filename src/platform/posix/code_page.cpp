// The job file's code page on POSIX: the Windows code page of the locale's language, looked up
// through glibc's iconv.
#include "platform/code_page.h"

#include <iconv.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tolv {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The length of the well-formed UTF-8 sequence at the start of p[0..n) with its code point in *cp,
// or 0 when there is none (a stray continuation byte, an overlong form, a surrogate, a code point
// beyond U+10FFFF, a sequence cut short).
size_t Utf8Sequence(const unsigned char* p, size_t n, char32_t* cp) {
  const unsigned lead = p[0];
  if (lead < 0x80) {
    *cp = lead;
    return 1;
  }
  size_t length;
  char32_t value;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (n < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned byte = p[k];
    if (byte < low || byte > high) return 0;
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | (byte & 0x3F);
  }
  *cp = value;
  return length;
}

// How many bytes from p[0] on are ASCII, looked at eight at a time: job files are mostly ASCII, and
// a 50 MB file must be judged in a blink.
size_t AsciiRun(const unsigned char* p, size_t n) {
  size_t i = 0;
  while (i + 8 <= n) {
    uint64_t word;
    std::memcpy(&word, p + i, sizeof word);
    if ((word & 0x8080808080808080ULL) != 0) break;
    i += 8;
  }
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

bool IsUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    i += AsciiRun(p + i, n - i);
    if (i == n) break;
    char32_t cp;
    const size_t length = Utf8Sequence(p + i, n - i, &cp);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::u32string DecodeUtf8(std::string_view bytes) {
  std::u32string text;
  text.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const size_t ascii = AsciiRun(p + i, n - i);
    text.append(p + i, p + i + ascii);
    i += ascii;
    if (i == n) break;
    char32_t cp;
    const size_t length = Utf8Sequence(p + i, n - i, &cp);
    // A piece cut inside a sequence (never done by the profile reader) still decodes, with U+FFFD.
    text.push_back(length == 0 ? kReplacement : cp);
    i += length == 0 ? 1 : length;
  }
  return text;
}

// The first of LC_ALL, LC_CTYPE and LANG that is set and not empty, as the C library would pick
// the locale of character types; `source` names the variable.
std::string_view CharacterLocale(const char** source = nullptr) {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      if (source != nullptr) *source = name;
      return value;
    }
  }
  return {};
}

// The code page's upper half, one byte at a time through iconv. Single bytes keep the table exact
// for the bytes a code page leaves undefined (iconv reports them as invalid and they stay U+FFFD),
// and 128 conversions once per file cost nothing next to mapping a large file through a table.
std::array<char32_t, 128> UpperHalf(int code_page) {
  std::array<char32_t, 128> table;
  table.fill(kReplacement);
  const char* utf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";
  const std::string name = "CP" + std::to_string(code_page);
  iconv_t converter = iconv_open(utf32, name.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    // Without the C library's conversion modules, Latin-1 is the nearest reading of any of them
    // and still never fails.
    for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<char32_t>(0x80 + k);
    return table;
  }
  for (size_t k = 0; k < table.size(); ++k) {
    char byte = static_cast<char>(0x80 + k);
    char32_t cp = 0;
    char* in = &byte;
    size_t in_left = 1;
    char* out = reinterpret_cast<char*>(&cp);
    size_t out_left = sizeof cp;
    if (iconv(converter, &in, &in_left, &out, &out_left) != static_cast<size_t>(-1) &&
        in_left == 0 && out_left == 0) {
      table[k] = cp;
    }
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  }
  iconv_close(converter);
  return table;
}

}  // namespace

int CodePageOfLocale(std::string_view locale_name) {
  const std::string_view language = locale_name.substr(0, locale_name.find_first_of("_.@"));
  std::string lower;
  for (char c : language) lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
  for (const char* code : {"ru", "uk", "be", "bg", "sr", "mk"}) {
    if (lower == code) return 1251;
  }
  for (const char* code : {"pl", "cs", "sk", "hu", "sl", "hr", "ro", "sq", "bs"}) {
    if (lower == code) return 1250;
  }
  if (lower == "el") return 1253;
  if (lower == "tr" || lower == "az") return 1254;
  if (lower == "lt" || lower == "lv" || lower == "et") return 1257;
  return 1252;
}

JobText::JobText(std::string_view whole_file) : body_(whole_file) {
  if (body_.starts_with(kByteOrderMark)) {
    body_.remove_prefix(kByteOrderMark.size());
    reading_ = "UTF-8 (it starts with a byte-order mark)";
    return;
  }
  utf8_ = IsUtf8(body_);
  if (utf8_) {
    reading_ = "UTF-8 (valid UTF-8 throughout)";
    return;
  }
  const char* source = nullptr;
  const std::string_view locale = CharacterLocale(&source);
  const int code_page = CodePageOfLocale(locale);
  upper_half_ = UpperHalf(code_page);
  reading_ =
      "Windows code page " + std::to_string(code_page) + " (not valid UTF-8; " +
      (source != nullptr ? "locale " + std::string(locale) + " from " + source
                         : std::string("no locale set: LC_ALL, LC_CTYPE and LANG are empty")) +
      ")";
}

std::u32string JobText::Decode(std::string_view piece) const {
  if (utf8_) return DecodeUtf8(piece);
  std::u32string text(piece.size(), U'\0');
  for (size_t k = 0; k < piece.size(); ++k) {
    const auto byte = static_cast<unsigned char>(piece[k]);
    text[k] = byte < 0x80 ? byte : upper_half_[byte - 0x80];
  }
  return text;
}

std::u32string DecodeJobText(std::string_view bytes) {
  const JobText text(bytes);
  return text.Decode(text.body());
}

std::string ToUtf8(std::u32string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (char32_t cp : text) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
      bytes.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      bytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      bytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      bytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return bytes;
}

}  // namespace tolv
