// The job file's text: UTF-8 when the bytes start with a UTF-8 byte-order mark or are valid UTF-8
// throughout; otherwise the Windows code page of the locale's language (Cyrillic languages 1251,
// Central European 1250, Greek 1253, Turkish 1254, Baltic 1257, anything else 1252). The backend
// of the machine implements it.
#ifndef TOLV_PLATFORM_CODE_PAGE_H_
#define TOLV_PLATFORM_CODE_PAGE_H_

#include <string>
#include <string_view>

namespace tolv {

// Decodes bytes to code points, one character per code point.
std::u32string DecodeJobText(std::string_view bytes);

// Encodes code points as UTF-8 (for fonts and file names); invalid code points become U+FFFD.
std::string ToUtf8(std::u32string_view text);

}  // namespace tolv

#endif  // TOLV_PLATFORM_CODE_PAGE_H_
