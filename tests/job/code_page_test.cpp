// The job file's text rule, the same on every machine: the UTF-8 below would read otherwise in
// any of the code pages, so the cases hold whichever code page the machine has. Which one that is,
// is the machine backend's (tests/platform/posix/ansi_code_page_test.cpp).
#include "job/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace tolv {
namespace {

TEST(CodePageTest, Utf8WithOrWithoutByteOrderMark) {
  EXPECT_EQ(DecodeJobText("\xEF\xBB\xBF\xC3\x9C"
                          "ber"),
            U"\u00DCber");
  EXPECT_EQ(DecodeJobText("\xC3\x9C"
                          "ber \xF0\x9F\x98\x80"),
            U"\u00DCber \U0001F600");
  EXPECT_EQ(DecodeJobText("plain"), U"plain");
  // After a mark the text is UTF-8 even where it is not well formed.
  EXPECT_EQ(DecodeJobText("\xEF\xBB\xBF"
                          "a\xFF"),
            U"a\uFFFD");
}

TEST(CodePageTest, ToUtf8ReplacesInvalidCodePoints) {
  EXPECT_EQ(ToUtf8(U"A\u00E4\u20AC\U0001F600"), "A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
  const char32_t invalid[] = {0xD800, 0x110000, 0};
  EXPECT_EQ(ToUtf8(std::u32string_view(invalid, 3)), std::string("\xEF\xBF\xBD\xEF\xBF\xBD\0", 7));
}

}  // namespace
}  // namespace tolv
