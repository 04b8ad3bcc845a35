#include "job/profile.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tolv {
namespace {

using namespace std::string_literals;

std::u32string ValueOf(std::string_view bytes, std::u32string_view section,
                       std::u32string_view key) {
  return Profile::Parse(bytes).Value(section, key).value_or(U"<missing>");
}

TEST(ProfileTest, NamesMatchWithoutRegardToCaseOrBlanksAround) {
  const Profile profile = Profile::Parse(" [ blank ] \n  vAlUe  = 3\n[Info]\nrow01=x\n");
  EXPECT_EQ(profile.Value(U"BLANK", U"Value"), U"3");
  EXPECT_EQ(profile.Value(U"INFO", U"ROW01"), U"x");
  EXPECT_EQ(profile.Value(U"INFO", U"ROW02"), std::nullopt);
  EXPECT_EQ(profile.Value(U"FONT", U"Value"), std::nullopt);
  // Letters beyond ASCII fold too (UTF-8 file).
  EXPECT_EQ(ValueOf("[\xC3\x84RGER]\n\xD0\xA8RIFT=1\n", U"\u00E4rger", U"\u0448rift"), U"1");
}

TEST(ProfileTest, TheFirstSectionAndTheFirstKeyWin) {
  const Profile profile =
      Profile::Parse("[BLANK]\nValue=1\nValue=2\n[OTHER]\nValue=9\n[blank]\nValue=3\nExtra=4\n");
  EXPECT_EQ(profile.Value(U"BLANK", U"Value"), U"1");
  // A later section of the same name is ignored whole, even for keys the first one lacks.
  EXPECT_EQ(profile.Value(U"BLANK", U"Extra"), std::nullopt);
  EXPECT_EQ(profile.Value(U"OTHER", U"Value"), U"9");
}

TEST(ProfileTest, ValuesLoseBlanksAndOnePairOfQuotes) {
  EXPECT_EQ(ValueOf("[S]\nK= \t v w \t\n", U"S", U"K"), U"v w");
  EXPECT_EQ(ValueOf("[S]\nK='Arial'\n", U"S", U"K"), U"Arial");
  EXPECT_EQ(ValueOf("[S]\nK= \" a \" \n", U"S", U"K"), U" a ");
  EXPECT_EQ(ValueOf("[S]\nK=\"\"x\"\"\n", U"S", U"K"), U"\"x\"");
  EXPECT_EQ(ValueOf("[S]\nK=\"x'\n", U"S", U"K"), U"\"x'");
  EXPECT_EQ(ValueOf("[S]\nK=\"\n", U"S", U"K"), U"\"");
  EXPECT_EQ(ValueOf("[S]\nK=\n", U"S", U"K"), U"");
  EXPECT_EQ(ValueOf("[S]\nK=a=b\n", U"S", U"K"), U"a=b");
}

TEST(ProfileTest, ValuesAreCutTo254Characters) {
  const std::string long_value(10'000, 'x');
  EXPECT_EQ(ValueOf("[S]\nK=" + long_value + "\n", U"S", U"K"), std::u32string(254, U'x'));
  // Cut after the quotes are gone, counted in characters, not bytes.
  std::string cyrillic;
  for (int i = 0; i < 300; ++i) cyrillic += "\xD0\xAF";
  EXPECT_EQ(ValueOf("[S]\nK=\"" + cyrillic + "\"", U"S", U"K"), std::u32string(254, U'\u042F'));
}

TEST(ProfileTest, CommentsLineEndsAndStrayLines) {
  const Profile profile = Profile::Parse(
      "A=0\r[S]\r\n;A=1\n  ; B=2\nC=3 ; not a comment\rjunk line\n[broken\nD=4\n[T]\nE=5");
  EXPECT_EQ(profile.Value(U"S", U"A"), std::nullopt);  // before any section, then a comment
  EXPECT_EQ(profile.Value(U"S", U"B"), std::nullopt);
  EXPECT_EQ(profile.Value(U"S", U"C"), U"3 ; not a comment");
  EXPECT_EQ(profile.Value(U"S", U"D"), U"4");  // "[broken" is ignored: still in S
  EXPECT_EQ(profile.Value(U"T", U"E"), U"5");  // no line end at the end of the file
}

TEST(ProfileTest, NulsAndGarbageAreReadWithoutHarm) {
  EXPECT_EQ(ValueOf("[S]\nK=a\0b\n"s, U"S", U"K"), U"a\0b"s);
  std::mt19937 random(7);
  std::string garbage(1 << 20, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  const Profile profile = Profile::Parse("[S]\nK=1\n" + garbage);
  EXPECT_EQ(profile.Value(U"S", U"K"), U"1");
}

TEST(ProfileTest, AWantedListKeepsOnlyItsKeys) {
  const ProfileKey wanted[] = {{U"info", U"row00"}};
  const Profile profile = Profile::Parse("[INFO]\nROW00=a\nROW01=b\n[X]\nROW00=c\n", wanted);
  EXPECT_EQ(profile.Value(U"INFO", U"ROW00"), U"a");
  EXPECT_EQ(profile.Value(U"INFO", U"ROW01"), std::nullopt);
  EXPECT_EQ(profile.Value(U"X", U"ROW00"), std::nullopt);
}

TEST(ProfileTest, AMillionCharacterLineIsOneLine) {
  const std::string huge(1'000'000, 'a');
  const Profile profile =
      Profile::Parse("[" + huge + "]\n[S]\n" + huge + "\n" + huge + "=1\nK=" + huge + "\n");
  EXPECT_EQ(profile.Value(U"S", U"K"), std::u32string(254, U'a'));
  EXPECT_EQ(profile.Value(U"S", std::u32string(1'000'000, U'A')), U"1");
}

}  // namespace
}  // namespace tolv
