// Output mode 3 end to end: the fixed grid printed by the program on the file printer (A4, 600 dpi,
// printable area the whole page) and read back from the PDF.
#include <gtest/gtest.h>

#include <string>

#include "integration/support/program_run.h"

namespace tolv::testing {
namespace {

constexpr double kPointsPerMm = 72 / 25.4;
// One device pixel at 600 dpi is 0.12 point; allow two.
constexpr double kTolerancePt = 0.25;

std::vector<Word> PrintGrid(int blank, int offset, const std::map<int, std::string>& rows,
                            int* status = nullptr) {
  ProgramDir dir;
  dir.WriteJob(blank, 3, offset, offset, rows);
  const RunResult run = dir.Run();
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  if (status) *status = run.exit_status;
  EXPECT_EQ(PdfPageCount(dir.File("ZOBAX.PDF")), 1);
  return PdfWords(dir.File("ZOBAX.PDF"));
}

std::vector<Word> WordsOf(const std::vector<Word>& words, const std::string& text) {
  std::vector<Word> found;
  for (const Word& w : words) {
    if (w.text == text) found.push_back(w);
  }
  return found;
}

TEST(GridPrintTest, BoxRowsOfBothCopiesStartWhereTheOffsetsPutThem) {
  struct Case {
    int offset;
    double left_mm, first_mm, second_mm;
  };
  for (const Case& c : {Case{25, 14, 24.5, 165.3}, Case{50, 28, 32.3, 173.1}}) {
    SCOPED_TRACE(c.offset);
    const auto q = WordsOf(PrintGrid(3, c.offset, {{3, "Q"}}), "Q");
    ASSERT_EQ(q.size(), 2u);
    EXPECT_NEAR(q[0].x_min, c.left_mm * kPointsPerMm, 1.0);  // the glyph's own side bearing
    EXPECT_NEAR(q[0].y_min, c.first_mm * kPointsPerMm, kTolerancePt);
    EXPECT_NEAR(q[1].y_min, c.second_mm * kPointsPerMm, kTolerancePt);
    EXPECT_NEAR(q[1].x_min, q[0].x_min, 0.01);
  }
}

TEST(GridPrintTest, TheLastOfThirtyThreeBoxesAndRowZerosRightCellOfFormTypeTwo) {
  // Boxes of the same letter: pdftotext joins neighbours into one word, so use distinct ones.
  const std::string row = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefg";  // 33 characters
  auto words = PrintGrid(3, 25, {{3, row}});
  const auto first = WordsOf(words, "A");
  const auto last = WordsOf(words, "g");
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(last.size(), 2u);
  // Box 33 stands 32 pitches of 3.98 mm right of box 1: 141.36 mm from OriginX.
  const double a_left = 14 * kPointsPerMm;
  EXPECT_NEAR(last[0].x_min - first[0].x_min, (141.36 - 14) * kPointsPerMm,
              1.5 + std::abs(first[0].x_min - a_left));

  words = PrintGrid(2, 25, {{0, "Smith|Sofia"}});
  const auto sofia = WordsOf(words, "Sofia");
  ASSERT_EQ(sofia.size(), 2u);
  EXPECT_NEAR(sofia[0].x_min, 92 * kPointsPerMm, 1.0);
  EXPECT_NEAR(WordsOf(words, "Smith")[0].x_min, 26 * kPointsPerMm, 1.0);
}

TEST(GridPrintTest, ARowPastThePrintableWidthLosesExactlyTheCharactersThatDoNotFit) {
  // OffsetX 150 moves the grid 70 mm right, so box c starts at 84 + (c - 1) * 3.98 mm and the last
  // boxes of a 33-box row fall past the 210 mm page. A box prints when its start plus the width of
  // "W" in the row's font stays inside the printable width; a row of one "W" measures that.
  const auto w = WordsOf(PrintGrid(3, 150, {{3, "W"}}), "W");
  ASSERT_EQ(w.size(), 2u);
  const double w_width_pt = w[0].x_max - w[0].x_min;
  const std::string row = "ABCDEFGHIJKLMNOPQRSTUVXYZabcdefgh";  // 33 distinct characters
  ProgramDir dir;
  dir.WriteJob(3, 3, 150, 25, {{3, row}});
  ASSERT_EQ(dir.Run().exit_status, 0);
  const auto words = PdfWords(dir.File("ZOBAX.PDF"));
  const double page_width_pt = 4961 * 72 / 600.0;
  size_t fitting = 0;
  for (int c = 1; c <= 33; ++c) {
    if ((84 + (c - 1) * 3.98) * kPointsPerMm + w_width_pt < page_width_pt) fitting = c;
  }
  ASSERT_GT(fitting, 20u);
  ASSERT_LT(fitting, 33u);
  // Neighbouring boxes may be read back as one word; the copies' text is what counts.
  std::string first_copy, second_copy;
  for (const Word& word : words) (word.y_min < 300 ? first_copy : second_copy) += word.text;
  EXPECT_EQ(first_copy, row.substr(0, fitting));
  EXPECT_EQ(second_copy, row.substr(0, fitting));
}

}  // namespace
}  // namespace tolv::testing
