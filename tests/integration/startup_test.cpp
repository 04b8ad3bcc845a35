// The program's start and end as a caller sees them: which runs print nothing, that the job file
// is never changed, and that no job content brings the program down.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>

#include "integration/support/program_run.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

// Everything in the program directory but the program itself.
std::vector<std::string> Listing(const ProgramDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (name != "tolv") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(StartupTest, WithoutAJobFileNothingIsReadWrittenOrPrinted) {
  ProgramDir dir;
  RunResult run = dir.Run();
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.standard_error, "");
  EXPECT_TRUE(Listing(dir).empty());

  dir.Write("zobax.qjt", "[BLANK]\nValue=1\n[PAPERTYPE]\nValue=3\n");  // another letter case
  run = dir.Run();
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(Listing(dir), std::vector<std::string>{"zobax.qjt"});
  fs::remove(dir.File("zobax.qjt"));

  fs::create_directory(dir.File("ZOBAX.QJT"));  // a directory of that name
  run = dir.Run();
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(Listing(dir), std::vector<std::string>{"ZOBAX.QJT"});
}

TEST(StartupTest, AnyJobContentRunsToTheEndAndLeavesTheJobFileAsItWas) {
  std::mt19937 random(7);
  std::string garbage(1 << 16, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  const std::string jobs[] = {
      "",
      garbage,
      "[BLANK]\nValue=99999999999999\n[PAPERTYPE]\nValue=-1e400\n[ZOOM]\nValue=1e999",
      "[INFO]\nROW03=" + std::string(1000000, 'x') + "\nLEN03=99999999999",
      "[BLANK]\nValue=6\n[PAPERTYPE]\nValue=3\n[BLANK]\nValue=1",  // a mode that prints nothing
  };
  for (const std::string& job : jobs) {
    ProgramDir dir;
    dir.Write("ZOBAX.QJT", job);
    struct stat before {};
    stat(dir.File("ZOBAX.QJT").c_str(), &before);
    const RunResult run = dir.Run();
    EXPECT_NE(run.exit_status, -1) << "crashed or hung";
    EXPECT_EQ(dir.Read("ZOBAX.QJT"), job);
    struct stat after {};
    stat(dir.File("ZOBAX.QJT").c_str(), &after);
    EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  }
}

}  // namespace
}  // namespace tolv::testing
