#include "platform/posix/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace tolv {
namespace {

std::string Cause(const std::string& what, int error_number) {
  return what + ": " + std::strerror(error_number);
}

std::string DirectoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name nobody else is likely to use; O_EXCL settles the rare collision by trying again.
std::string TemporaryName(const std::string& directory, const std::string& base, int attempt) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const unsigned long long stamp =
      static_cast<unsigned long long>(now.tv_sec) * 1000000000ULL + now.tv_nsec;
  char suffix[64];
  std::snprintf(suffix, sizeof(suffix), ".%d.%llx.%d.tmp", static_cast<int>(getpid()), stamp,
                attempt);
  return directory + "/." + base + suffix;
}

// Opens a fresh temporary file beside the target. Returns the descriptor, or -1 with `error` set.
int CreateTemporary(const std::string& directory, const std::string& base, std::string* name,
                    std::string* error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = TemporaryName(directory, base, attempt);
    const int fd = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) return fd;
    if (errno != EEXIST) {
      *error = Cause("cannot create a temporary file in " + directory, errno);
      return -1;
    }
  }
  *error = "cannot create a temporary file in " + directory + ": every name tried is taken";
  return -1;
}

bool WriteAll(int fd, std::string_view bytes, int* error_number) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      *error_number = errno;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// Writes and flushes the temporary file and closes it. Returns "" or the cause.
std::string FillTemporary(int fd, const std::string& name, std::string_view bytes) {
  int error_number = 0;
  std::string cause;
  if (!WriteAll(fd, bytes, &error_number)) {
    cause = Cause("cannot write " + name, error_number);
  } else if (fsync(fd) != 0) {
    cause = Cause("cannot flush " + name + " to disk", errno);
  }
  // close() reports delayed write errors of some file systems (NFS, quotas).
  if (close(fd) != 0 && cause.empty()) cause = Cause("cannot write " + name, errno);
  return cause;
}

// Makes the rename itself survive a crash. File systems that cannot flush a directory say EINVAL;
// the rename is still done there.
std::string FlushDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Cause("cannot open " + directory + " to flush it", errno);
  std::string cause;
  if (fsync(fd) != 0 && errno != EINVAL) cause = Cause("cannot flush " + directory, errno);
  close(fd);
  return cause;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  const std::string directory = DirectoryOf(path);
  std::string temporary;
  std::string cause;
  const int fd = CreateTemporary(directory, BaseNameOf(path), &temporary, &cause);
  if (fd < 0) {
    *error = cause;
    return false;
  }
  cause = FillTemporary(fd, temporary, bytes);
  // rename() replaces the directory entry `path` whatever it is, a symbolic link included.
  if (cause.empty() && rename(temporary.c_str(), path.c_str()) != 0) {
    cause = Cause("cannot rename " + temporary + " to " + path, errno);
  }
  if (!cause.empty()) {
    unlink(temporary.c_str());
    *error = cause;
    return false;
  }
  cause = FlushDirectory(directory);
  if (!cause.empty()) {
    *error = path + " was written but " + cause;
    return false;
  }
  error->clear();
  return true;
}

}  // namespace tolv
