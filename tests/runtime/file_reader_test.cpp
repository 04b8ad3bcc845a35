// Reading files beside the program: no file decides how long a read takes or how much it reads.
#include "runtime/file_reader.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;

class FileReaderTest : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
  }
  const testing::ScratchDir scratch_{"tolv-reader"};
  const std::string dir_ = scratch_.path();
};

TEST_F(FileReaderTest, ReadsRegularFilesToTheirLimitAndNothingElse) {
  Write("job", "0123456789");
  FileRead read = ReadFileBeside(dir_, "job", 10);
  EXPECT_EQ(read.status, FileRead::Status::kRead);
  EXPECT_EQ(read.bytes, "0123456789");
  read = ReadFileBeside(dir_, "job", 9);
  EXPECT_EQ(read.status, FileRead::Status::kFailed);
  EXPECT_EQ(read.cause, "it is larger than 9 bytes");
  EXPECT_EQ(ReadFileBeside(dir_, "job", 4, /*truncate_at_limit=*/true).bytes, "0123");

  EXPECT_EQ(ReadFileBeside(dir_, "absent", 10).status, FileRead::Status::kMissing);
  fs::create_directory(dir_ + "/dir");
  EXPECT_EQ(ReadFileBeside(dir_, "dir", 10).cause, "it is a directory");
#ifdef _WIN32
  // A device name is there in every folder.
  EXPECT_EQ(ReadFileBeside(dir_, "NUL", 10).cause, "it is not a regular file");
#else
  ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0644), 0);
  EXPECT_EQ(ReadFileBeside(dir_, "fifo", 10).cause, "it is not a regular file");
  fs::create_symlink("/dev/zero", dir_ + "/zero");
  EXPECT_EQ(ReadFileBeside(dir_, "zero", 10).cause, "it is not a regular file");
#endif
  // Another letter case of the name is not the file, where the directory can say so.
  EXPECT_EQ(ReadFileBeside(dir_, "JOB", 10, false, /*exact_name=*/true).status,
            FileRead::Status::kMissing);
}

TEST_F(FileReaderTest, AFileReadInPiecesEndsAtItsSizeWhenOpenedAndAtTheLimit) {
  Write("dots", "abcdefgh");
  BoundedFile file(dir_ + "/dots", 6);
  ASSERT_EQ(file.status(), FileRead::Status::kRead);
  std::ofstream(dir_ + "/dots", std::ios::app) << "grown meanwhile";
  unsigned char buffer[16];
  EXPECT_EQ(file.Read(buffer, 4), 4);
  EXPECT_EQ(file.Read(buffer, 16), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 2), "ef");
  EXPECT_EQ(file.Read(buffer, 16), 0);

#ifdef _WIN32
  EXPECT_EQ(BoundedFile(dir_ + "/NUL", 6).status(), FileRead::Status::kFailed);
#else
  ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0644), 0);
  EXPECT_EQ(BoundedFile(dir_ + "/fifo", 6).status(), FileRead::Status::kFailed);
#endif
  EXPECT_EQ(BoundedFile(dir_ + "/absent", 6).status(), FileRead::Status::kMissing);
  EXPECT_EQ(BoundedFile(dir_ + "/nodir/absent", 6).status(), FileRead::Status::kMissing);
}

TEST(QuotedTest, KeepsANameOnOneLine) {
  EXPECT_EQ(Quoted("/tmp/a b/ZOBAX.PDF"), "\"/tmp/a b/ZOBAX.PDF\"");
  EXPECT_EQ(Quoted("/tmp/x\ny\"z\\\t"), "\"/tmp/x\\ny\\\"z\\\\\\x09\"");
}

// A path in a message is written as the machine writes paths, still on one line.
TEST(QuotedTest, ShownPathIsTheMachinesOwn) {
  if (std::filesystem::path::preferred_separator == '/') {
    EXPECT_EQ(ShownPath("/srv/a\\b/ZOBAX.PDF"), Quoted("/srv/a\\b/ZOBAX.PDF"));
  } else {
    EXPECT_EQ(ShownPath("Z:\\app dir/held/x.emf"), "\"Z:\\app dir\\held\\x.emf\"");
  }
  EXPECT_EQ(ShownPath("a\nb"), "\"a\\nb\"");
}

}  // namespace
}  // namespace tolv
