#include "destination/queue_correction.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

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

  std::ofstream(dir + "/tolv.conf")
      << "; a comment\n[Other]\nShiftX=9\n[office LASER]\n"
         "ShiftX= 1.5 \nShiftY=\"-0.8\"\n[Wide]\nShiftX=400\n"
         "[Word]\nShiftY=abc\n[Comma]\nShiftX=1,5\n[NaN]\nShiftX=nan\n"
         "[Inf]\nShiftY=-inf\n[Huge]\nShiftX=1e309\n[Empty]\nShiftX=\n"
         "[Half]\nShiftX=2\nShiftY=2mm\n[office laser]\nShiftX=7\n";
  struct Case {
    std::string queue;
    bool found;
    double x, y;
    bool problem;  // a value is not a shift: no correction, and --check says so
  };
  const Case cases[] = {
      {"Office Laser", true, 1.5, -0.8, false},  // names without regard to case, the first wins
      {"Other", true, 9, 0, false},
      {"Wide", false, 0, 0, true},  // beyond 100 mm is a mistake, not a correction
      {"Word", false, 0, 0, true},
      {"Comma", false, 0, 0, true},
      {"NaN", false, 0, 0, true},
      {"Inf", false, 0, 0, true},
      {"Huge", false, 0, 0, true},
      {"Empty", false, 0, 0, true},
      {"Half", false, 0, 0, true},  // one value wrong: neither is used
      {"Q", false, 0, 0, false},
      {"", false, 0, 0, false},  // the file printer has no queue
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.queue);
    const QueueCorrection correction = ReadQueueCorrection(dir, c.queue);
    EXPECT_EQ(correction.found, c.found);
    EXPECT_DOUBLE_EQ(correction.shift_x_mm, c.x);
    EXPECT_DOUBLE_EQ(correction.shift_y_mm, c.y);
    EXPECT_EQ(correction.problems.size(), c.problem ? 1u : 0u);
  }
#ifndef _WIN32
  // Read as the job is: a FIFO in its place is refused at once, never waited on.
  fs::remove(dir + "/tolv.conf");
  ASSERT_EQ(mkfifo((dir + "/tolv.conf").c_str(), 0600), 0);
  const QueueCorrection fifo = ReadQueueCorrection(dir, "Q");
  EXPECT_FALSE(fifo.found);
  ASSERT_EQ(fifo.problems.size(), 1u);
  EXPECT_NE(fifo.problems[0].find("not a regular file"), std::string::npos) << fifo.problems[0];
#endif
}

}  // namespace
}  // namespace tolv
