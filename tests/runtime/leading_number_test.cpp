#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "runtime/runtime.h"

namespace tolv {
namespace {

using namespace std::string_literals;

void ExpectOverflow(const std::u32string& text) {
  try {
    LeadingNumber(text);
    ADD_FAILURE() << "no overflow";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kOverflow);
  }
}

TEST(LeadingNumberTest, ReadsTheNumberAtTheStartOfTheText) {
  const struct {
    std::u32string text;
    double value;
  } cases[] = {
      {U"&H5", 5},     {U" 4 ", 4},    {U"7abc", 7},     {U"1E3", 1000},     {U"1D2", 100},
      {U"1d2", 100},   {U"-.5", -0.5}, {U"abc", 0},      {U"", 0},           {U"1 2", 12},
      {U"- 5", -5},    {U"\t\n3", 3},  {U"+7", 7},       {U"1,5", 1},        {U"2.5e-1", 0.25},
      {U"1.2.3", 1.2}, {U"1E", 1},     {U"1E+", 1},      {U". 5", 0.5},      {U"-", 0},
      {U".", 0},       {U"E5", 0},     {U"0.1", 0.1},    {U"0012.50", 12.5}, {U"1 E - 2", 0.01},
      {U"\r5", 0},     {U"1e-400", 0}, {U"0e999999", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LeadingNumber(c.text), c.value) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(LeadingNumberTest, ANulStopsTheReading) {
  EXPECT_EQ(LeadingNumber(U"12\0"s
                          U"34"),
            12);
  EXPECT_EQ(LeadingNumber(U"1\0"s
                          U"E3"),
            1);
  EXPECT_EQ(LeadingNumber(U"\0"s
                          U"5"),
            0);
  EXPECT_EQ(LeadingNumber(U"&H1\0"s
                          U"F"),
            1);
}

TEST(LeadingNumberTest, HexAndOctalAreTwosComplementIntegers) {
  EXPECT_EQ(LeadingNumber(U"&HFFFF"), -1);
  EXPECT_EQ(LeadingNumber(U"&H8000"), -32768);
  EXPECT_EQ(LeadingNumber(U"&h7fff"), 32767);
  EXPECT_EQ(LeadingNumber(U"&H0FFFF"), -1);  // leading zeros do not widen it
  EXPECT_EQ(LeadingNumber(U"&H10000"), 65536);
  EXPECT_EQ(LeadingNumber(U"&HFFFFFFFF"), -1);
  EXPECT_EQ(LeadingNumber(U"&H80000000"), -2147483648.0);
  EXPECT_EQ(LeadingNumber(U"& h 1 f"), 31);
  EXPECT_EQ(LeadingNumber(U"&HG"), 0);
  EXPECT_EQ(LeadingNumber(U"&O17"), 15);
  EXPECT_EQ(LeadingNumber(U"&O177777"), -1);
  EXPECT_EQ(LeadingNumber(U"&O200000"), 65536);
  EXPECT_EQ(LeadingNumber(U"&O78"), 7);
  EXPECT_EQ(LeadingNumber(U"&X1"), 0);
  ExpectOverflow(U"&H100000000");
  ExpectOverflow(U"&O40000000000");
}

TEST(LeadingNumberTest, NumbersBeyondDoubleOverflow) {
  EXPECT_EQ(LeadingNumber(U"1.7976931348623157E308"), 1.7976931348623157e308);
  ExpectOverflow(U"1.8E308");
  ExpectOverflow(U"-1D309");
  ExpectOverflow(U"1E99999999999999999999999");
  EXPECT_EQ(LeadingNumber(U"1E-99999999999999999999999"), 0);
}

TEST(LeadingNumberTest, AMillionDigitsAreReadInOnePass) {
  const std::u32string ones(1'000'000, U'1');
  ExpectOverflow(ones);
  EXPECT_DOUBLE_EQ(LeadingNumber(U"0." + ones), 0.1111111111111111);
  EXPECT_EQ(LeadingNumber(U"0." + std::u32string(1'000'000, U'0') + U"1"), 0);
  EXPECT_EQ(LeadingNumber(U"1" + std::u32string(1'000'000, U' ') + U"2"), 12);
  EXPECT_EQ(LeadingNumber(U"1" + std::u32string(1'000'000, U'0') + U"E-1000000"), 1);
}

TEST(LeadingNumberTest, ThePointIsTheSeparatorWhateverTheLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  const double point = LeadingNumber(U"2.5");
  const double comma = LeadingNumber(U"2,5");
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(point, 2.5);
  EXPECT_EQ(comma, 2);
}

}  // namespace
}  // namespace tolv
