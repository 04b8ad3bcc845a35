// The job file's text: UTF-8 when the bytes start with a UTF-8 byte-order mark or are valid UTF-8
// throughout; otherwise the Windows code page of the locale's language (Cyrillic languages 1251,
// Central European 1250, Greek 1253, Turkish 1254, Baltic 1257, anything else 1252). The rule and
// the code pages' tables are shared; the machine's backend says only which code page applies.
//
// The choice is made once for the whole file: a file with a single byte that is not UTF-8 is read
// entirely in the code page, so one stray byte never turns the rest of the text into a mixture.
#ifndef TOLV_JOB_CODE_PAGE_H_
#define TOLV_JOB_CODE_PAGE_H_

#include <array>
#include <string>
#include <string_view>

namespace tolv {

// The job file's text rule, judged once over the whole file and then applied to pieces of it, so
// that a reader decodes only the text it keeps. Every code page in question is a single-byte one
// whose lower half is ASCII, and ASCII bytes never occur inside a UTF-8 sequence: a piece cut at an
// ASCII byte decodes exactly as it would inside the whole text.
class JobText {
 public:
  // Judges the bytes; they must outlive the JobText, which keeps a view of them.
  explicit JobText(std::string_view whole_file);

  // The file's bytes without the byte-order mark.
  std::string_view body() const { return body_; }
  bool is_utf8() const { return utf8_; }
  // How the text is read and why: "UTF-8 (byte-order mark)", "UTF-8 (valid throughout)", or
  // "Windows code page 1251 (not UTF-8; locale ru_RU from LANG)" and the like. A code page read
  // without any locale set ends in "no locale set".
  std::string Reading() const { return reading_; }

  // Decodes a piece of body(), one character per code point. Bytes the encoding does not define
  // become U+FFFD; decoding never fails.
  std::u32string Decode(std::string_view piece) const;

 private:
  std::string_view body_;
  bool utf8_ = true;
  std::string reading_;
  // The code page's characters for the bytes 0x80 to 0xFF (unused for UTF-8).
  std::array<char32_t, 128> upper_half_{};
};

// Decodes bytes to code points, one character per code point.
std::u32string DecodeJobText(std::string_view bytes);

// Encodes code points as UTF-8 (for fonts and file names); invalid code points become U+FFFD.
std::string ToUtf8(std::u32string_view text);

// The characters of a code page's bytes 0x80 to 0xFF, U+FFFD where it defines none: 1250, 1251,
// 1253, 1254 and 1257 as named, 1252 for any other number.
const std::array<char32_t, 128>& CodePageUpperHalf(int code_page);

// The machine's ANSI code page, one of the six above: defined by the machine's backend (on Linux
// from the locale's language, on Windows GetACP()). Asked only for a file that is not UTF-8.
int AnsiCodePage();
// Why the machine has that code page, for tolv --check: "locale ru_RU.UTF-8 from LANG", or a text
// containing "no locale set" when nothing names one.
std::string AnsiCodePageReason();

}  // namespace tolv

#endif  // TOLV_JOB_CODE_PAGE_H_
