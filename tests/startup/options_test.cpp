#include "startup/options.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "startup/program_directory.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;
using Action = Options::Action;

TEST(OptionsTest, EveryCommandLineIsRunHelpVersionOrRefused) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    std::string dir_or_error;
  };
  const Case cases[] = {
      {{}, Action::kRun, ""},
      {{"--help"}, Action::kHelp, ""},
      {{"-h"}, Action::kHelp, ""},
      {{"--version"}, Action::kVersion, ""},
      {{"--dir", "/srv/a"}, Action::kRun, "/srv/a"},
      {{"--dir=/srv/b"}, Action::kRun, "/srv/b"},
      // Help wins wherever it stands, even after a mistake.
      {{"--dir", "/x", "--help"}, Action::kHelp, ""},
      {{"--hlep"}, Action::kUsageError, "unknown option --hlep"},
      {{"-v"}, Action::kUsageError, "unknown option -v"},
      {{"--"}, Action::kUsageError, "unknown option --"},
      {{"ZOBAX.QJT"}, Action::kUsageError, "unexpected argument ZOBAX.QJT"},
      {{"--help=1"}, Action::kUsageError, "unknown option --help=1"},
      {{"--dir"}, Action::kUsageError, "--dir needs a directory"},
      {{"--dir="}, Action::kUsageError, "--dir needs a directory"},
      {{"--dir", "a", "--dir", "b"}, Action::kUsageError, "--dir is given twice"},
      {{"--check", "--dir", "/srv/c"}, Action::kRun, "/srv/c"},
      {{"--pdf"}, Action::kUsageError, "--pdf needs a file"},
      {{"--check", "--proof", "p.pdf"},
       Action::kUsageError,
       "--check, --pdf, --proof and --emf exclude each other"},
      {{"--emf="}, Action::kUsageError, "--emf needs a file"},
      {{"--pdf", "a.pdf", "--emf", "a.emf"},
       Action::kUsageError,
       "--check, --pdf, --proof and --emf exclude each other"},
      {{"--held", "--dir", "/srv/d"}, Action::kRun, "/srv/d"},
      {{"--reprint=all", "--dir=/srv/e"}, Action::kRun, "/srv/e"},
      {{"--reprint"}, Action::kUsageError, "--reprint needs a held document's name or all"},
      {{"--reprint", "../ZOBAX.QJT"},
       Action::kUsageError,
       "--reprint needs a held document's name or all"},
      {{"--held", "--reprint", "all"},
       Action::kUsageError,
       "--held and --reprint go alone (with --dir only)"},
      {{"--reprint", "all", "--test-page", "1"},
       Action::kUsageError,
       "--held and --reprint go alone (with --dir only)"},
      {{"--held", "--check"},
       Action::kUsageError,
       "--held and --reprint go alone (with --dir only)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const Options options = ParseOptions(c.args);
    EXPECT_EQ(options.action, c.action);
    EXPECT_EQ(c.action == Action::kUsageError ? options.error : options.program_dir,
              c.dir_or_error);
  }
}

TEST(OptionsTest, CheckPdfAndProofAreWhatTheRunDoesWithItsDocument) {
  EXPECT_TRUE(ParseOptions({"--check"}).check);
  const Options pdf = ParseOptions({"--pdf=a.pdf"});
  EXPECT_EQ(pdf.pdf, "a.pdf");
  EXPECT_FALSE(pdf.proof);
  EXPECT_EQ(ParseOptions({"--test-page", "6", "--pdf", "t.pdf"}).test_page, 6);
  EXPECT_EQ(ParseOptions({"--test-page=8"}).action, Action::kUsageError);
  EXPECT_EQ(ParseOptions({"--test-page", "1", "--check"}).action, Action::kUsageError);
  const Options proof = ParseOptions({"--proof", "b.pdf"});
  EXPECT_EQ(proof.pdf, "b.pdf");
  EXPECT_TRUE(proof.proof);
  const Options emf = ParseOptions({"--emf", "c.emf"});
  EXPECT_EQ(emf.pdf, "c.emf");
  EXPECT_TRUE(emf.emf && !emf.proof);
}

TEST(OptionsTest, OnlyARunGoesOnAndAUsageErrorExits64OnStandardError) {
  std::ostringstream out, err;
  EXPECT_EQ(AnswerWithoutRunning(ParseOptions({}), "", out, err), std::nullopt);
  EXPECT_EQ(AnswerWithoutRunning(ParseOptions({"-h"}), "", out, err), 0);
  EXPECT_EQ(out.str(), Usage());
  out.str("");
  EXPECT_EQ(AnswerWithoutRunning(ParseOptions({"--version"}), "cairo 9", out, err), 0);
  EXPECT_TRUE(out.str().starts_with("tolv ")) << out.str();
  EXPECT_TRUE(out.str().ends_with("\ncairo 9\n")) << out.str();
  out.str("");
  EXPECT_EQ(AnswerWithoutRunning(ParseOptions({"x"}), "", out, err), 64);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "tolv: unexpected argument x\n" + Usage());
}

TEST(ProgramDirectoryTest, DirOptionThenTolvDirThenWhatThePlatformFound) {
  // Without the trailing separator Windows gives it.
  std::string tmp = fs::temp_directory_path().string();
  while (tmp.size() > 1 && (tmp.back() == '/' || tmp.back() == '\\')) tmp.pop_back();
  const ProgramDirectory found{"/opt/tolv", "the executable's directory"};
  std::string error;
  EXPECT_EQ(ChooseProgramDirectory("", nullptr, found, &error).path, "/opt/tolv");
  EXPECT_EQ(ChooseProgramDirectory("", "", found, &error).path, "/opt/tolv");
  EXPECT_EQ(ChooseProgramDirectory("", tmp.c_str(), found, &error).reason, "TOLV_DIR");
  const ProgramDirectory chosen = ChooseProgramDirectory(tmp + "/", "/nowhere", found, &error);
  EXPECT_EQ(chosen.path, tmp);
  EXPECT_EQ(chosen.reason, "--dir");
  EXPECT_EQ(error, "");

  const ProgramDirectory missing = ChooseProgramDirectory("", "/nowhere/at/all", found, &error);
  EXPECT_EQ(missing.path, "");
  EXPECT_EQ(error, "TOLV_DIR /nowhere/at/all: not a directory");
}

}  // namespace
}  // namespace tolv
