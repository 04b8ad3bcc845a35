#include "layout/cells.h"

#include <gtest/gtest.h>

#include <string>

namespace tolv {
namespace {

using namespace std::string_literals;

struct CellCase {
  std::u32string cell;
  std::u32string printed;
};

TEST(FormatCellTest, LeftCellTurnsBarsIntoSpacesAndKeepsItsIndentation) {
  const CellCase cases[] = {
      {U"Smith", U"Smith"},
      {U"  Smith  ", U"  Smith"},
      {U"A|B", U"A B"},
      {U"A||B", U"A  B"},
      {U" A | B ", U" A   B"},
      {U"", U""},
      {U"   ", U""},
      {U"|", U""},
      {U"\tA\t", U"\tA\t"},
      {U"A\0\0"s, U"A\0\0"s},
      {U"\u00a0A\u00a0", U"\u00a0A\u00a0"},
  };
  for (const CellCase& c : cases) {
    EXPECT_EQ(FormatCell(c.cell, kLeftCell), c.printed) << ::testing::PrintToString(c.cell);
  }
}

TEST(FormatCellTest, RightCellJoinsAtItsFirstBarAndIsTrimmed) {
  const CellCase cases[] = {
      {U" 12 |  34 ", U"12 34"},
      {U"A|B|C", U"A B|C"},
      {U"|B", U" B"},
      {U"  |B", U" B"},
      {U"A|", U"A"},
      {U"|", U""},
      {U" |", U""},
      {U"| ", U""},
      {U"  Sofia  ", U"Sofia"},
      {U"", U""},
      {U"|  B", U" B"},
      {U" \tA ", U"\tA"},
      {U"BC\0\0 "s, U"BC\0\0"s},
  };
  for (const CellCase& c : cases) {
    EXPECT_EQ(FormatCell(c.cell, kRightCell), c.printed) << ::testing::PrintToString(c.cell);
  }
  // Any value but 0 is true.
  EXPECT_EQ(FormatCell(U"A|B", 1), U"A B");
}

TEST(SplitRowTest, DividesAtTheFirstBarAndKeepsTheRest) {
  RowCells cells = SplitRow(U" A |B|C");
  EXPECT_TRUE(cells.HasLeft);
  EXPECT_EQ(cells.left, U" A ");
  EXPECT_EQ(cells.right, U"B|C");
  cells = SplitRow(U"  Smith  ");
  EXPECT_FALSE(cells.HasLeft);
  EXPECT_EQ(cells.right, U"  Smith  ");
  cells = SplitRow(U"|");
  EXPECT_TRUE(cells.HasLeft);
  EXPECT_EQ(cells.left, U"");
  EXPECT_EQ(cells.right, U"");
  // A look-alike of the bar is text.
  EXPECT_FALSE(SplitRow(U"A\uff5cB").HasLeft);
}

// What a layout prints at the left and the right place for a whole row; "-" for no print.
TEST(SplitRowTest, WholeRowsPrintTheirCellsCleaned) {
  struct RowCase {
    std::u32string row;
    std::u32string left;
    std::u32string right;
  };
  const RowCase cases[] = {
      {U"Smith|Sofia", U"Smith", U"Sofia"},
      {U"  Smith  |  Sofia  ", U"  Smith", U"Sofia"},
      {U"Smith|Sofia|Centre", U"Smith", U"Sofia Centre"},
      {U"A|B|C|D", U"A", U"B C|D"},
      {U"A||B", U"A", U" B"},
      {U"|Sofia", U"", U"Sofia"},
      {U"Smith|", U"Smith", U""},
      {U"  Smith  ", U"-", U"Smith"},
      {U"", U"-", U""},
  };
  for (const RowCase& c : cases) {
    const RowCells cells = SplitRow(c.row);
    const std::u32string left = cells.HasLeft ? FormatCell(cells.left, kLeftCell) : U"-";
    EXPECT_EQ(left, c.left) << ::testing::PrintToString(c.row);
    EXPECT_EQ(FormatCell(cells.right, kRightCell), c.right) << ::testing::PrintToString(c.row);
  }
}

}  // namespace
}  // namespace tolv
