// The command line as an operator types it: nothing but a run prints, and the program directory
// can be named or reached through a symbolic link.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "integration/support/program_run.h"
#include "support/cups_harness.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

void WriteJob(const ProgramDir& dir) { dir.WriteJob(1, 3, 25, 25, {{3, "Q"}}); }

TEST(OptionsRunTest, HelpVersionAndMistakesPrintNothing) {
  ProgramDir dir;
  WriteJob(dir);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_starts, err_starts;
  };
  const Case cases[] = {
      {{"--help"}, 0, "Usage: tolv", ""},
      {{"-h"}, 0, "Usage: tolv", ""},
      {{"--version"}, 0, "tolv 1.", ""},
      {{"--hlep"}, 64, "", "tolv: unknown option --hlep\nUsage: tolv"},
      {{"ZOBAX.QJT"}, 64, "", "tolv: unexpected argument ZOBAX.QJT\nUsage: tolv"},
      {{"--dir", dir.File("none")}, 64, "", "tolv: --dir " + dir.File("none") + ": not a dir"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const RunResult run = dir.RunWith(c.args);
    EXPECT_EQ(run.exit_status, c.status);
    EXPECT_TRUE(run.standard_output.starts_with(c.out_starts)) << run.standard_output;
    EXPECT_EQ(run.standard_error.substr(0, c.err_starts.size()), c.err_starts);
    EXPECT_FALSE(dir.Exists("ZOBAX.PDF"));
  }
  const RunResult version = dir.RunWith({"--version"});
  for (const char* library : {"cairo ", "pango ", "libcups "}) {
    EXPECT_NE(version.standard_output.find(library), std::string::npos) << library;
  }
}

TEST(OptionsRunTest, TheProgramDirectoryIsTheLinksTheNamedOneOrTheExecutables) {
  ProgramDir installed;  // holds the executable
  ProgramDir caller;     // the caller's folder: a link to it and the job
  WriteJob(caller);
  fs::remove(caller.File("tolv"));
  fs::create_symlink(installed.File("tolv"), caller.File("tolv"));

  RunResult run = caller.RunWith({}, {}, caller.File("tolv"));
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_TRUE(caller.Exists("ZOBAX.PDF"));
  EXPECT_FALSE(installed.Exists("ZOBAX.PDF"));
  fs::remove(caller.File("ZOBAX.PDF"));

  // --dir wins over TOLV_DIR, which wins over where the executable is.
  ProgramDir other;
  run = installed.RunWith({"--dir", caller.path()}, {"TOLV_DIR=" + other.path()});
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_TRUE(caller.Exists("ZOBAX.PDF"));
  fs::remove(caller.File("ZOBAX.PDF"));

  run = installed.Run({"TOLV_DIR=" + caller.path()});
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_TRUE(caller.Exists("ZOBAX.PDF"));
  EXPECT_FALSE(installed.Exists("ZOBAX.PDF"));
}

TEST(OptionsRunTest, OnARealQueueOnlyTheRunWithoutArgumentsIsPrinted) {
  PrivateCupsScheduler scheduler;
  if (!scheduler.skip_reason().empty()) GTEST_SKIP() << scheduler.skip_reason();
  ASSERT_TRUE(scheduler.started()) << scheduler.problem();
  std::vector<std::string> env;
  for (const auto& [name, value] : scheduler.environment()) env.push_back(name + "=" + value);

  ProgramDir dir;
  WriteJob(dir);
  for (const char* arg : {"--help", "--version", "--hlep"}) {
    EXPECT_NE(dir.RunWith({arg}, env).exit_status, -1);
  }
  // The scheduler keeps every job it was given, done or not.
  EXPECT_EQ(scheduler.Run("! lpstat -W all -o | grep -q ."), 0) << "a job was sent";
  ASSERT_EQ(dir.Run(env).exit_status, 0);
  EXPECT_EQ(scheduler.Run("[ $(lpstat -W all -o | wc -l) -eq 1 ]"), 0);
  EXPECT_TRUE(scheduler.WaitForDocuments(1));
}

}  // namespace
}  // namespace tolv::testing
