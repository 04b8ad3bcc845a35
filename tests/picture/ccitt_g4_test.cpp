// The Group 4 coder of the printer's one-colour dot masks.
#include "picture/ccitt_g4.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tolv {
namespace {

TEST(CcittG4Test, CodesWhiteRowsAsOneBitEachAndStopsAtItsLimit) {
  // Eight white rows: one vertical-0 code each, then the end-of-block code (two end-of-lines).
  const std::vector<uint8_t> white(4 * 8, 0);
  EXPECT_EQ(EncodeG4(white.data(), 4, 20, 8, 100), std::string("\xFF\x00\x10\x01", 4));
  // Every other pixel black in the first 8 columns of each row, shifted from row to row: a few
  // codes a row, longer than a 3-byte limit allows.
  std::vector<uint8_t> speckle(4 * 8, 0);
  for (int y = 0; y < 8; ++y) speckle[4 * y + (y % 3)] = 0x55;
  EXPECT_EQ(EncodeG4(speckle.data(), 4, 20, 8, 3), "");
  EXPECT_NE(EncodeG4(speckle.data(), 4, 20, 8, 1000), "");
  EXPECT_EQ(G4Params(20, 8), "Columns=20 Rows=8 K=-1 BlackIs1=true");
}

}  // namespace
}  // namespace tolv
