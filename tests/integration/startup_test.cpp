// The program's start and end as a caller sees them: which runs print nothing, that the job file
// is never changed, and that no job content brings the program down.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
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
}

// There is a job file but it cannot be read: exit status 1 and one line naming it, nothing
// printed; the caller must not take it for "nothing to print".
TEST(StartupTest, AJobFileThatCannotBeReadEndsWithStatus1AndOneLine) {
  const std::vector<std::pair<std::string, std::function<void(const ProgramDir&)>>> cases = {
      {"it is a directory",
       [](const ProgramDir& dir) { fs::create_directory(dir.File("ZOBAX.QJT")); }},
      {"it is not a regular file",
       [](const ProgramDir& dir) { mkfifo(dir.File("ZOBAX.QJT").c_str(), 0644); }},
      {"it is not a regular file",
       [](const ProgramDir& dir) { fs::create_symlink("/dev/zero", dir.File("ZOBAX.QJT")); }},
      {"it is larger than 1 MiB",
       [](const ProgramDir& dir) { dir.Write("ZOBAX.QJT", std::string(3 << 20, '[')); }},
  };
  for (const auto& [cause, make] : cases) {
    SCOPED_TRACE(cause);
    ProgramDir dir;
    make(dir);
    const std::vector<std::string> before = Listing(dir);
    const RunResult run = dir.Run({}, 20);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error, "tolv: the job file \"" + dir.File("ZOBAX.QJT") +
                                      "\" cannot be read: " + cause + "\n");
    EXPECT_EQ(Listing(dir), before);
  }
}

// The kernel's message buffer passes for a regular file of no bytes: an empty job, read at once
// instead of waiting for the next message.
TEST(StartupTest, AJobFileThatNeverEndsIsReadToTheSizeItHad) {
  if (access("/proc/kmsg", R_OK) != 0) GTEST_SKIP() << "/proc/kmsg cannot be read here";
  ProgramDir dir;
  fs::create_symlink("/proc/kmsg", dir.File("ZOBAX.QJT"));
  const RunResult run = dir.Run({}, 20);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.standard_error, "");
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
