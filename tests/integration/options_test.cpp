// The command line as an operator types it: nothing but a run prints, and the program directory
// can be named or reached through a symbolic link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
  // A report that did not arrive is no answer: status 2, and the line says why.
  for (const char* report : {"--help", "--version", "--check"}) {
    for (const char* output : {">/dev/full", ">&-"}) {
      SCOPED_TRACE(std::string(report) + " " + output);
      EXPECT_EQ(Capture("cd '" + dir.path() + "' && TOLV_PRINTER=file ./tolv " + report + " " +
                        output + " 2>said; echo $?; head -c 40 said"),
                "2\ntolv: the report could not be written to");
    }
  }
}

// A caller that stopped reading standard error (its pipe full) loses the failing run's line,
// never the run: it ends with its status.
TEST(OptionsRunTest, AFullStandardErrorPipeDoesNotHoldTheRun) {
  ProgramDir dir;
  fs::create_directory(dir.File("ZOBAX.QJT"));  // a job file that cannot be read: one line
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  fcntl(pipe_ends[1], F_SETFL, O_NONBLOCK);
  const std::string block(4096, 'x');
  while (write(pipe_ends[1], block.data(), block.size()) > 0) {
  }
  fcntl(pipe_ends[1], F_SETFL, 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"--bogus"}}) {
    const pid_t child = fork();
    if (child == 0) {
      dup2(pipe_ends[1], 2);
      const std::string exe = dir.File("tolv");
      std::vector<char*> argv = {const_cast<char*>(exe.c_str())};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(exe.c_str(), argv.data());
      _exit(127);
    }
    int status = -1;
    for (int waited = 0; waited < 600 && waitpid(child, &status, WNOHANG) == 0; ++waited) {
      usleep(100000);
    }
    if (kill(child, SIGKILL) == 0) waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "still writing its line after a minute";
    EXPECT_EQ(WEXITSTATUS(status), args.empty() ? 1 : 64);
  }
  close(pipe_ends[0]);
  close(pipe_ends[1]);
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
