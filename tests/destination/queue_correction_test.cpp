#include "destination/queue_correction.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;

TEST(QueueCorrectionTest, OnlyTheQueuesOwnSectionCounts) {
  const testing::ScratchDir scratch("tolv-conf");
  const std::string& dir = scratch.path();
  EXPECT_FALSE(ReadQueueCorrection(dir, "Q").found);  // no file

  std::ofstream(dir + "/tolv.conf") << "; a comment\n[Other]\nShiftX=9\n[office LASER]\n"
                                       "ShiftX= 1.5 \nShiftY=\"-0.8\"\n[Wild]\nShiftX=400\n"
                                       "ShiftY=abc\n[office laser]\nShiftX=7\n";
  struct Case {
    std::string queue;
    bool found;
    double x, y;
  };
  const Case cases[] = {
      {"Office Laser", true, 1.5, -0.8},  // names without regard to case, the first wins
      {"Other", true, 9, 0},
      {"Wild", true, 0, 0},  // a shift of 400 mm is a mistake; "abc" is 0
      {"Q", false, 0, 0},
      {"", false, 0, 0},  // the file printer has no queue
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.queue);
    const QueueCorrection correction = ReadQueueCorrection(dir, c.queue);
    EXPECT_EQ(correction.found, c.found);
    EXPECT_DOUBLE_EQ(correction.shift_x_mm, c.x);
    EXPECT_DOUBLE_EQ(correction.shift_y_mm, c.y);
  }
}

}  // namespace
}  // namespace tolv
