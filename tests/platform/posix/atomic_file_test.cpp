#include "platform/posix/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::RunInChild;

class AtomicFileTest : public ::testing::Test {
 protected:
  void Plant(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename());
    return names;
  }

  const testing::ScratchDir scratch_{"tolv-atomic"};
  const std::string dir_ = scratch_.path();
  const std::string target_ = dir_ + "/ZOBAX.PDF";
};

TEST_F(AtomicFileTest, WritesTheWholeFileWithOrdinaryPermissionsAndNoLeftovers) {
  const mode_t old_mask = umask(022);
  std::string error = "stale";
  const bool ok = WriteFileAtomically(target_, std::string("%PDF\0binary\n", 12), &error);
  umask(old_mask);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadWholeFile(target_), std::string("%PDF\0binary\n", 12));
  struct stat info {};
  ASSERT_EQ(stat(target_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(Entries(), std::set<std::string>{"ZOBAX.PDF"});
}

TEST_F(AtomicFileTest, ReplacesAnEarlierFile) {
  Plant(target_, "an earlier, longer document");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(target_, "new", &error)) << error;
  EXPECT_EQ(ReadWholeFile(target_), "new");
  EXPECT_EQ(Entries(), std::set<std::string>{"ZOBAX.PDF"});
}

TEST_F(AtomicFileTest, ReplacesAPlantedSymbolicLinkInsteadOfWritingThroughIt) {
  const std::string victim = dir_ + "/victim";
  Plant(victim, "must stay");
  fs::create_symlink(victim, target_);
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(target_, "document", &error)) << error;
  EXPECT_FALSE(fs::is_symlink(target_));
  EXPECT_EQ(ReadWholeFile(target_), "document");
  EXPECT_EQ(ReadWholeFile(victim), "must stay");

  // A dangling link must not create the file it points at either.
  const std::string elsewhere = dir_ + "/elsewhere";
  fs::remove(target_);
  fs::create_symlink(elsewhere, target_);
  ASSERT_TRUE(WriteFileAtomically(target_, "again", &error)) << error;
  EXPECT_FALSE(fs::exists(elsewhere));
  EXPECT_EQ(ReadWholeFile(target_), "again");
}

TEST_F(AtomicFileTest, NamesTheCauseWhenTheDirectoryIsMissing) {
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(dir_ + "/gone/ZOBAX.PDF", "x", &error));
  EXPECT_NE(error.find(dir_ + "/gone"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST_F(AtomicFileTest, LeavesNoTemporaryWhenTheTargetIsADirectory) {
  fs::create_directory(target_);
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(target_, "x", &error));
  EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_directory(target_));
  EXPECT_EQ(Entries(), std::set<std::string>{"ZOBAX.PDF"});
}

// A full disk, as a file size limit: the write fails halfway.
TEST_F(AtomicFileTest, KeepsTheEarlierFileWhenTheDiskFillsUp) {
  Plant(target_, "earlier");
  const std::optional<std::string> error = RunInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4, 4};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string cause;
    if (WriteFileAtomically(target_, "a document longer than four bytes", &cause))
      return std::string("ok");
    return cause;
  });
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->find("File too large"), std::string::npos) << *error;
  EXPECT_EQ(ReadWholeFile(target_), "earlier");
  EXPECT_EQ(Entries(), std::set<std::string>{"ZOBAX.PDF"});
}

TEST_F(AtomicFileTest, KeepsTheEarlierFileInADirectoryItCannotWrite) {
  Plant(target_, "earlier");
  ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
  const std::optional<std::string> error = RunInChild([&] {
    // Root writes anywhere: try as nobody.
    if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) return std::string("setresuid");
    std::string cause;
    if (WriteFileAtomically(target_, "new", &cause)) return std::string("ok");
    return cause;
  });
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->find("Permission denied"), std::string::npos) << *error;
  EXPECT_NE(error->find(dir_), std::string::npos) << *error;
  EXPECT_EQ(ReadWholeFile(target_), "earlier");
  EXPECT_EQ(Entries(), std::set<std::string>{"ZOBAX.PDF"});
}

}  // namespace
}  // namespace tolv
