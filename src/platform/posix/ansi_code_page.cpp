#include "platform/posix/ansi_code_page.h"

#include <cstdlib>
#include <string>

#include "job/code_page.h"

namespace tolv {
namespace {

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

int AnsiCodePage() { return CodePageOfLocale(CharacterLocale()); }

std::string AnsiCodePageReason() {
  const char* source = nullptr;
  const std::string_view locale = CharacterLocale(&source);
  if (source == nullptr) return "no locale set: LC_ALL, LC_CTYPE and LANG are empty";
  return "locale " + std::string(locale) + " from " + source;
}

}  // namespace tolv
