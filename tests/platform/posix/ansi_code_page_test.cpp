// The POSIX machine's code page for job files that are not UTF-8: the one of the locale's
// language, and the code pages' tables beside the C library's converter.
#include "platform/posix/ansi_code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <stdlib.h>

#include <array>
#include <bit>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "job/code_page.h"

namespace tolv {
namespace {

// Sets the locale variables for one test and puts them back afterwards.
class LocaleEnvironment {
 public:
  LocaleEnvironment(const char* lc_all, const char* lc_ctype, const char* lang) {
    Set("LC_ALL", lc_all);
    Set("LC_CTYPE", lc_ctype);
    Set("LANG", lang);
  }
  ~LocaleEnvironment() {
    for (auto& [name, value] : saved_) {
      if (value) {
        setenv(name, value->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }

 private:
  void Set(const char* name, const char* value) {
    const char* old = getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }

  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// "Привет" in code page 1251.
constexpr std::string_view kCp1251Privet = "\xCF\xF0\xE8\xE2\xE5\xF2";

TEST(CodePageTest, OtherwiseTheCodePageOfTheLocalesLanguage) {
  {
    const LocaleEnvironment russian(nullptr, nullptr, "ru_RU.CP1251");
    EXPECT_EQ(DecodeJobText(kCp1251Privet), U"\u041F\u0440\u0438\u0432\u0435\u0442");
  }
  {
    const LocaleEnvironment german(nullptr, nullptr, "de_DE.UTF-8");
    EXPECT_EQ(DecodeJobText("\x80\x81\xE4"), U"\u20AC\uFFFD\u00E4");  // 0x81 is undefined
  }
  {
    // LC_ALL comes first; an empty one is passed over.
    const LocaleEnvironment greek_over_russian("el_GR", "ru_RU", "ru_RU");
    EXPECT_EQ(DecodeJobText("\xE1"), U"\u03B1");
    const LocaleEnvironment ctype("", "pl_PL.UTF-8", "ru_RU");
    EXPECT_EQ(DecodeJobText("\xB9"), U"\u0105");
  }
}

TEST(CodePageTest, OneByteThatIsNotUtf8DecidesForTheWholeFile) {
  const LocaleEnvironment english(nullptr, nullptr, "en_US.UTF-8");
  EXPECT_EQ(DecodeJobText("\xC3\xA4 \xE4"), U"\u00C3\u00A4 \u00E4");
  EXPECT_EQ(DecodeJobText("\xC0\xAF"), U"\u00C0\u00AF");            // overlong
  EXPECT_EQ(DecodeJobText("\xED\xA0\x80"), U"\u00ED\u00A0\u20AC");  // a surrogate
  EXPECT_EQ(DecodeJobText("\xE2\x82"), U"\u00E2\u201A");            // cut short
}

TEST(CodePageTest, LanguagesToCodePages) {
  EXPECT_EQ(CodePageOfLocale("ru_RU.UTF-8"), 1251);
  EXPECT_EQ(CodePageOfLocale("sr_RS@latin"), 1251);
  EXPECT_EQ(CodePageOfLocale("uk"), 1251);
  EXPECT_EQ(CodePageOfLocale("CS_CZ"), 1250);
  EXPECT_EQ(CodePageOfLocale("bs_BA"), 1250);
  EXPECT_EQ(CodePageOfLocale("el_GR"), 1253);
  EXPECT_EQ(CodePageOfLocale("az_AZ"), 1254);
  EXPECT_EQ(CodePageOfLocale("et_EE"), 1257);
  EXPECT_EQ(CodePageOfLocale("C.UTF-8"), 1252);
  EXPECT_EQ(CodePageOfLocale(""), 1252);
  EXPECT_EQ(CodePageOfLocale("rus"), 1252);
}

// The tables are source: each byte of each code page must read as the C library's converter reads
// it, U+FFFD where the converter finds the byte undefined.
TEST(CodePageTest, TablesMatchTheCLibrarysConverter) {
  const char* utf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";
  for (int code_page : {1250, 1251, 1252, 1253, 1254, 1257}) {
    iconv_t converter = iconv_open(utf32, ("CP" + std::to_string(code_page)).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no iconv module";
    const std::array<char32_t, 128>& table = CodePageUpperHalf(code_page);
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
      char in_byte = static_cast<char>(byte);
      char32_t expected = 0;
      char* in = &in_byte;
      size_t in_left = 1;
      char* out = reinterpret_cast<char*>(&expected);
      size_t out_left = sizeof expected;
      if (iconv(converter, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1) ||
          out_left != 0) {
        expected = 0xFFFD;
      }
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
      EXPECT_EQ(table[byte - 0x80], expected) << "code page " << code_page << " byte " << byte;
    }
    iconv_close(converter);
  }
}

}  // namespace
}  // namespace tolv
