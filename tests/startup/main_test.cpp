#include "startup/main.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/recording/recording.h"
#include "support/temp_dir.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;

class MainTest : public ::testing::Test {
 protected:
  void WriteJob(const std::string& text) { std::ofstream(dir_ + "/ZOBAX.QJT") << text; }

  const testing::ScratchDir scratch_{"tolv-main"};
  const std::string dir_ = scratch_.path();
};

TEST_F(MainTest, WithoutAJobTheProgramEndsBeforeLookingForAPrinter) {
  recording::RecordingPlatform platform({}, dir_);
  EXPECT_EQ(Main(platform), 0);
  EXPECT_TRUE(platform.log().empty());
  EXPECT_FALSE(platform.ended());
}

TEST_F(MainTest, AGridJobIsPrintedAndItsOpenDocumentEndedWithTheProgram) {
  WriteJob(
      "[BLANK]\nValue=1\n[PAPERTYPE]\nValue=3\n[OFFSETX]\nValue=25\n[OFFSETY]\nValue=25\n"
      "[INFO]\nROW03=|AB|\nLEN03=4\n");
  recording::RecordingPlatform platform({}, dir_);
  EXPECT_EQ(Main(platform), 0);
  EXPECT_TRUE(platform.ended());
  EXPECT_EQ(platform.printer().documents_ended(), 1);
  int boxes = 0;
  for (const recording::Op& op : platform.OpsOf("Printer")) {
    if (const auto* p = std::get_if<recording::Print>(&op)) boxes += p->text == U"A";
  }
  EXPECT_EQ(boxes, 2);  // both copies
}

TEST_F(MainTest, WithoutAPrinterTheRunStillEndsNormally) {
  WriteJob("[BLANK]\nValue=3\n[PAPERTYPE]\nValue=3\n");
  recording::PrinterSetup no_printer;
  no_printer.available = false;
  recording::RecordingPlatform platform(no_printer, dir_);
  EXPECT_EQ(Main(platform), 0);
  EXPECT_TRUE(platform.ended());
}

}  // namespace
}  // namespace tolv
