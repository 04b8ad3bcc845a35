#include "job/job_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "runtime/quoted.h"
#include "support/temp_dir.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class JobFileTest : public ::testing::Test {
 protected:
  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
  }
  void WriteJob(const std::string& bytes) { WriteFile("ZOBAX.QJT", bytes); }

  // Loads the job into a state that starts out zeroed, as the program's does.
  bool Load() { return LoadJob(job_, dir_); }

  std::u32string RowWith(const std::string& row, const std::string& len) {
    std::string text = "[INFO]\nROW04=" + row + "\n";
    if (!len.empty()) text += "LEN04=" + len + "\n";
    WriteJob(text);
    job_ = JobState();
    EXPECT_TRUE(Load());
    return job_.Rows[4];
  }

  const testing::ScratchDir scratch_{"tolv-job"};
  const std::string dir_ = scratch_.path();
  JobState job_;
};

TEST_F(JobFileTest, WithoutTheExactJobFileNothingIsRead) {
  job_.PrintJob.Blank = 9;
  job_.Zoom = 7;
  EXPECT_FALSE(Load());
  WriteFile("zobax.qjt", "[BLANK]\nValue=3\n");
  EXPECT_FALSE(JobFileExists(JobFilePath(dir_)));
  EXPECT_FALSE(Load());
  fs::remove(dir_ + "/zobax.qjt");  // the same name where letter case does not count
  fs::create_directory(dir_ + "/ZOBAX.QJT");
  EXPECT_FALSE(JobFileExists(JobFilePath(dir_)));
  EXPECT_FALSE(Load());
  EXPECT_EQ(job_.PrintJob.Blank, 9);
  EXPECT_EQ(job_.Zoom, 7);
}

TEST_F(JobFileTest, ASymbolicLinkLeadsToTheJobFileUnlessItDangles) {
#ifdef _WIN32
  GTEST_SKIP() << "making a symbolic link needs a privilege on Windows";
#endif
  fs::create_symlink(dir_ + "/nowhere", dir_ + "/ZOBAX.QJT");
  EXPECT_FALSE(Load());
  WriteFile("nowhere", "[BLANK]\nValue=6\n");
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.PrintJob.Blank, 6);
}

// A job file that is there but cannot be read is not "no job": the caller must hear of it.
TEST_F(JobFileTest, AJobFileThatCannotBeReadIsNotAMissingOne) {
  const auto load = [&](std::string* problem) {
    job_ = JobState();
    return LoadJobFile(job_, dir_, problem);
  };
  std::string problem;
  EXPECT_EQ(load(&problem), JobLoad::kMissing);

  WriteJob(std::string(kJobFileLimit, ';'));
  EXPECT_EQ(load(&problem), JobLoad::kLoaded);
  WriteJob(std::string(kJobFileLimit + 1, ';'));
  EXPECT_EQ(load(&problem), JobLoad::kUnreadable);
  EXPECT_EQ(problem, "the job file " + ShownPath(JobFilePath(dir_)) +
                         " cannot be read: it is larger than 1 MiB");
  fs::remove(JobFilePath(dir_));

  fs::create_directory(JobFilePath(dir_));
  EXPECT_EQ(load(&problem), JobLoad::kUnreadable);
  EXPECT_NE(problem.find(": it is a directory"), std::string::npos) << problem;
  fs::remove(JobFilePath(dir_));

#ifndef _WIN32  // Windows has no FIFO in a folder, and no file its owner cannot read
  // A FIFO would hold a reader up for ever.
  ASSERT_EQ(mkfifo(JobFilePath(dir_).c_str(), 0644), 0);
  EXPECT_EQ(load(&problem), JobLoad::kUnreadable);
  EXPECT_NE(problem.find(": it is not a regular file"), std::string::npos) << problem;
  fs::remove(JobFilePath(dir_));

  if (geteuid() != 0) {  // root reads every file
    WriteJob("[BLANK]\nValue=3\n");
    fs::permissions(JobFilePath(dir_), fs::perms::none);
    EXPECT_EQ(load(&problem), JobLoad::kUnreadable);
    EXPECT_NE(problem.find(": Permission denied"), std::string::npos) << problem;
  }
#endif
}

TEST_F(JobFileTest, AnEmptyJobGivesTheDefaults) {
  WriteJob("");
  EXPECT_TRUE(JobFileExists(JobFilePath(dir_)));
  job_.Rows[100] = U"stale";
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.PrintJob.Blank, 0);
  EXPECT_EQ(job_.PrintJob.PaperType, 0);
  EXPECT_EQ(job_.Zoom, 1.0);
  EXPECT_EQ(job_.FontFace, U"");
  for (const std::u32string& row : job_.Rows) EXPECT_EQ(row, U"");
}

TEST_F(JobFileTest, ScalarsRoundHalvesToEvenAndKeepTheirValueOnOverflow) {
  const struct {
    std::string value;
    int16_t blank;
  } cases[] = {{"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {" 4 ", 4},  {"7abc", 7},
               {"abc", 0}, {"&H5", 5}, {"40000", 0}, {"1E400", 0}};
  for (const auto& c : cases) {
    WriteJob("[BLANK]\nValue=" + c.value + "\n");
    job_ = JobState();
    EXPECT_TRUE(Load());
    EXPECT_EQ(job_.PrintJob.Blank, c.blank) << c.value;
  }
  // Each field is a step of its own: an overflow leaves only its own field as it was.
  WriteJob(
      "[blank]\nvalue=40000\n[PAPERTYPE]\nValue=2\n[OFFSETX]\nValue=-32769\n[OFFSETY]\nValue=25\n");
  job_ = JobState();
  job_.PrintJob.Blank = 5;
  job_.PrintJob.OffsetX = 11;
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.PrintJob.Blank, 5);
  EXPECT_EQ(job_.PrintJob.PaperType, 2);
  EXPECT_EQ(job_.PrintJob.OffsetX, 11);
  EXPECT_EQ(job_.PrintJob.OffsetY, 25);
}

TEST_F(JobFileTest, ZoomOutsideItsRangeIsResetNotClamped) {
  const struct {
    std::string value;
    double zoom;
  } cases[] = {{"80", 0.8},  {"120", 1.2}, {"79.9", 1.0},  {"120.01", 1.0}, {"", 1.0},
               {"110", 1.1}, {"130", 1.0}, {"1E400", 1.0}, {"&H64", 1.0},   {"95", 0.95}};
  for (const auto& c : cases) {
    WriteJob("[ZOOM]\nValue=" + c.value + "\n");
    job_ = JobState();
    EXPECT_TRUE(Load());
    EXPECT_EQ(job_.Zoom, c.zoom) << c.value;
  }
}

TEST_F(JobFileTest, FontFaceLosesBlanksQuotesAndWhatIsPast254) {
  WriteJob("[FONT]\nValue=  'Arial Narrow'  \n");
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.FontFace, U"Arial Narrow");
  WriteJob("[FONT]\nValue=\" Courier \"\n");
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.FontFace, U" Courier ");
  WriteJob("[FONT]\nValue=" + std::string(300, 'F') + "\n");
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.FontFace, std::u32string(254, U'F'));
}

TEST_F(JobFileTest, RowsFollowTheirLength) {
  const std::u32string padded = U"ABCDE]" + std::u32string(247, U'\0');  // 2 to 254 of the buffer
  EXPECT_EQ(RowWith("[ABCDE]", "7"), U"ABCDE");
  EXPECT_EQ(RowWith("[ABCDE]", "10"), U"ABCDE]\0\0"s);
  EXPECT_EQ(RowWith("[ABCDE]", "2"), U"");
  EXPECT_EQ(RowWith("[ABCDE]", "1"), U"");
  EXPECT_EQ(RowWith("[ABCDE]", "0"), U"");
  EXPECT_EQ(RowWith("[ABCDE]", ""), U"");
  EXPECT_EQ(RowWith("[ABCDE]", "x"), U"");
  EXPECT_EQ(RowWith("[ABCDE]", "-3"), padded);
  EXPECT_EQ(RowWith("[ABCDE]", "300"), padded);
  EXPECT_EQ(RowWith("[ABCDE]", "255"), padded);
  EXPECT_EQ(RowWith("[ABCDE]", "99999999999"), padded);
  EXPECT_EQ(RowWith("", "5"), U"\0\0\0"s);
  const std::string long_row = "<" + std::string(10'000, 'r') + ">";
  EXPECT_EQ(RowWith(long_row, "-1"), std::u32string(253, U'r'));
}

TEST_F(JobFileTest, EveryRowHasItsOwnLengthAndRow100StaysEmpty) {
  WriteJob(
      "[info]\nrow00=|H|\nlen00=3\nROW01=[AB]\nLEN01=4\nROW02=[CD]\nLEN02=99999999999\n"
      "ROW99=(Z)\nLEN99=3\nROW100=(Y)\nLEN100=3\n");
  job_.Rows[100] = U"stale";
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.Rows[0], U"H");
  EXPECT_EQ(job_.Rows[1], U"AB");
  // An overflowing length never borrows row 1's.
  EXPECT_EQ(job_.Rows[2], U"CD]" + std::u32string(250, U'\0'));
  EXPECT_EQ(job_.Rows[99], U"Z");
  EXPECT_EQ(job_.Rows[100], U"");
}

// The program's folder is UTF-8 text, whatever it is named; where paths are bytes, bytes that are
// not UTF-8 pass unchanged too.
TEST_F(JobFileTest, TheProgramFolderMayHaveAnyName) {
#ifdef _WIN32
  // Paths are UTF-16 text; a narrow one is read in the ANSI code page, so the test's are made so.
  const auto path = [](const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
  };
  for (const std::string name : {"Z\xC3\xBCrich \xCE\xA9"}) {
#else
  const auto path = [](const std::string& bytes) { return fs::path(bytes); };
  for (const std::string name : {"Z\xC3\xBCrich \xCE\xA9", "latin1-\xFC"}) {
#endif
    const std::string folder = dir_ + "/" + name;
    fs::create_directory(path(folder));
    std::ofstream(path(folder + "/ZOBAX.QJT"), std::ios::binary) << "[BLANK]\nValue=4\n";
    job_ = JobState();
    EXPECT_TRUE(LoadJob(job_, folder)) << name;
    EXPECT_EQ(job_.PrintJob.Blank, 4);
  }
}

TEST_F(JobFileTest, TheFirstSectionAndKeyWin) {
  WriteJob("[BLANK]\nValue=1\nValue=2\n[BLANK]\nValue=3\n[INFO]\nROW00=[A]\n[info]\nLEN00=3\n");
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.PrintJob.Blank, 1);
  EXPECT_EQ(job_.Rows[0], U"");  // the length sits in a second INFO section, which is ignored
}

TEST_F(JobFileTest, TextIsDecodedByItsCodePage) {
#ifndef _WIN32  // a POSIX machine's code page is its locale's (on Windows the system's)
  const char* saved_lang = getenv("LANG");
  const std::string saved = saved_lang ? saved_lang : "";
  unsetenv("LC_ALL");
  unsetenv("LC_CTYPE");
  setenv("LANG", "ru_RU.CP1251", 1);
  WriteJob("[FONT]\nValue=\xD8\xF0\xE8\xF4\xF2\n[INFO]\nROW00=[\xCF\xF0\xE8]\nLEN00=5\n");
  const bool loaded = Load();
  saved_lang ? setenv("LANG", saved.c_str(), 1) : unsetenv("LANG");
  EXPECT_TRUE(loaded);
  EXPECT_EQ(job_.FontFace, U"\u0428\u0440\u0438\u0444\u0442");
  EXPECT_EQ(job_.Rows[0], U"\u041F\u0440\u0438");
#endif

  WriteJob(
      "\xEF\xBB\xBF[FONT]\nValue=\xC3\x9C"
      "ber\n");
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.FontFace, U"\u00DCber");
}

TEST_F(JobFileTest, LargeAndBrokenFilesRunToTheEnd) {
  // Keys nobody asks for between the values, and lines of a quarter million characters, up to
  // the most a job file may hold.
  std::string bytes = "[BLANK]\nValue=3\n[INFO]\nROW00=" + std::string(250'000, 'a') + "\n";
  const std::string filler = "K=" + std::string(97, 'f') + "\n";
  while (bytes.size() < 700'000) bytes += filler;
  bytes += std::string(250'000, 'z') + "\nLEN00=300\nROW01=[Hi]\nLEN01=4";
  ASSERT_LE(bytes.size(), kJobFileLimit);
  WriteJob(bytes);
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.PrintJob.Blank, 3);
  EXPECT_EQ(job_.Rows[0], std::u32string(253, U'a'));
  EXPECT_EQ(job_.Rows[1], U"Hi");

  std::mt19937 random(11);
  std::string garbage(kJobFileLimit - 64, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  WriteJob("[INFO]\nROW00=\0\0x\0\nLEN00=5\n"s + garbage);
  job_ = JobState();
  EXPECT_TRUE(Load());
  EXPECT_EQ(job_.Rows[0], U"\0x\0"s);
  EXPECT_GE(job_.Zoom, 0.8);
  EXPECT_LE(job_.Zoom, 1.2);
}

TEST_F(JobFileTest, TheJobFileIsLeftAsItWas) {
  const std::string text = "[BLANK]\nValue=1\n";
  WriteJob(text);
  EXPECT_TRUE(Load());
  std::ifstream file(JobFilePath(dir_), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), text);
}

}  // namespace
}  // namespace tolv
