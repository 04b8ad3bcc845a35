#include "runtime/file_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tolv {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Whether the directory lists an entry of exactly `name`. True when it cannot be listed (a
// directory with search but no read permission): the exact name opened is then all there is.
bool ListsExactly(int directory, std::string_view name) {
  const int fd = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  DIR* listing = fdopendir(fd);
  if (listing == nullptr) {
    close(fd);
    return true;
  }
  bool found = false;
  while (const dirent* entry = readdir(listing)) {
    if (name == entry->d_name) {
      found = true;
      break;
    }
  }
  closedir(listing);
  return found;
}

}  // namespace

FileRead ReadFileBeside(const std::string& directory, std::string_view name, size_t limit,
                        bool truncate_at_limit, bool exact_name) {
  const Descriptor dir(open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) {
    return FailedRead(std::string("its directory cannot be opened: ") + std::strerror(errno));
  }
  const std::string file_name(name);
  // O_NONBLOCK: a FIFO or a device in the file's place must not hold the program up at open;
  // O_NOCTTY: nor become its terminal.
  const Descriptor file(
      openat(dir.get(), file_name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT) return {};
    return FailedRead(std::strerror(errno));
  }
  struct stat info {};
  if (fstat(file.get(), &info) != 0) return FailedRead(std::strerror(errno));
  if (!S_ISREG(info.st_mode)) {
    return FailedRead(S_ISDIR(info.st_mode) ? "it is a directory" : "it is not a regular file");
  }
  if (exact_name && !ListsExactly(dir.get(), name)) return {};
  FileRead read = SizedRead(static_cast<uint64_t>(info.st_size), limit, truncate_at_limit);
  if (read.status != FileRead::Status::kRead) return read;
  const size_t size = read.bytes.size();
  size_t done = 0;
  // A file that grows meanwhile is read to the size it had; one that shrinks, to its end.
  while (done < size) {
    const ssize_t n =
        pread(file.get(), read.bytes.data() + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailedRead(std::strerror(errno));
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  read.bytes.resize(done);
  return read;
}

BoundedFile::BoundedFile(const std::string& path, uint64_t limit) {
  const size_t slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const Descriptor dir(open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) {
    status_ = errno == ENOENT ? FileRead::Status::kMissing : FileRead::Status::kFailed;
    cause_ = std::strerror(errno);
    return;
  }
  fd_ = openat(dir.get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    status_ = errno == ENOENT ? FileRead::Status::kMissing : FileRead::Status::kFailed;
    cause_ = std::strerror(errno);
    return;
  }
  struct stat info {};
  if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    status_ = FileRead::Status::kFailed;
    cause_ = "it is not a regular file";
    return;
  }
  end_ = std::min<uint64_t>(static_cast<uint64_t>(info.st_size), limit);
  status_ = FileRead::Status::kRead;
}

BoundedFile::~BoundedFile() {
  if (fd_ >= 0) close(fd_);
}

long long BoundedFile::Read(unsigned char* data, size_t size) {
  if (status_ != FileRead::Status::kRead) return -1;
  size_t done = 0;
  size = static_cast<size_t>(std::min<uint64_t>(size, end_ - offset_));
  while (done < size) {
    const ssize_t n = pread(fd_, data + done, size - done, static_cast<off_t>(offset_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      cause_ = std::strerror(errno);
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  offset_ += done;
  return static_cast<long long>(done);
}

}  // namespace tolv
