#include "platform/posix/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "runtime/quoted.h"

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

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// ".<base>.<pid>.<stamp>.<attempt>.tmp": the process that made it can be told from the name.
std::string TemporaryName(const std::string& base, int attempt) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const unsigned long long stamp =
      static_cast<unsigned long long>(now.tv_sec) * 1000000000ULL + now.tv_nsec;
  char suffix[64];
  std::snprintf(suffix, sizeof(suffix), ".%d.%llx.%d.tmp", static_cast<int>(getpid()), stamp,
                attempt);
  return "." + base + suffix;
}

// Temporary files of earlier runs that were killed before they could clean up (a named
// temporary file lives only for the moment between linking and renaming it, but a kill can fall
// there, and older versions named theirs from the start): removed when their process is gone.
void RemoveStaleTemporaries(int directory, const std::string& base) {
  const int fd = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* listing = fdopendir(fd);
  if (listing == nullptr) {
    close(fd);
    return;
  }
  const std::string prefix = "." + base + ".";
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.rfind(prefix, 0) != 0 || name.size() < prefix.size() + 4 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0) {
      continue;
    }
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (pid <= 0 || end == nullptr || *end != '.') continue;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      unlinkat(directory, name.c_str(), 0);
    }
  }
  closedir(listing);
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

// The new file's content: an unnamed file in the directory (nothing is left when the run is
// killed while writing), or, where the file system cannot make one, a named temporary file.
// Returns the descriptor, or -1 with `error` set; `name` is set only for a named file.
int CreateTemporary(int directory, const std::string& directory_path, const std::string& base,
                    std::string* name, std::string* error) {
  const int unnamed = openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (unnamed >= 0) return unnamed;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
    *error = Cause("cannot create a temporary file in " + Quoted(directory_path), errno);
    return -1;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = TemporaryName(base, attempt);
    const int fd = openat(directory, name->c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) return fd;
    if (errno != EEXIST) {
      *error = Cause("cannot create a temporary file in " + Quoted(directory_path), errno);
      return -1;
    }
  }
  *error =
      "cannot create a temporary file in " + Quoted(directory_path) + ": every name tried is taken";
  return -1;
}

// Gives an unnamed file a temporary name, to be renamed over the target. Linking it by its
// descriptor needs a capability; its /proc path does not.
std::string LinkUnnamed(int fd, int directory, const std::string& base, std::string* name) {
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = TemporaryName(base, attempt);
    if (linkat(AT_FDCWD, proc.c_str(), directory, name->c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return "";
    }
    if (errno != EEXIST) {
      const int error_number = errno;
      name->clear();
      return Cause("cannot name the new file", error_number);
    }
  }
  name->clear();
  return "cannot name the new file: every name tried is taken";
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  const std::string directory_path = DirectoryOf(path);
  const std::string base = BaseNameOf(path);
  // Everything below works from the directory's descriptor, so a directory path close to the
  // system's length limit leaves room for the names in it.
  const Descriptor directory(open(directory_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() < 0) {
    *error = Cause("cannot open the directory " + Quoted(directory_path), errno);
    return false;
  }
  RemoveStaleTemporaries(directory.get(), base);

  std::string temporary;
  std::string cause;
  Descriptor file(CreateTemporary(directory.get(), directory_path, base, &temporary, &cause));
  if (file.get() < 0) {
    *error = cause;
    return false;
  }
  const std::string shown = Quoted(temporary.empty() ? path : directory_path + "/" + temporary);
  int error_number = 0;
  // A file replaced keeps its permissions and, where the run may give it, its owner: a document
  // kept private (0600) must not come back readable by everyone.
  struct stat earlier {};
  if (fstatat(directory.get(), base.c_str(), &earlier, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(earlier.st_mode)) {
    // Only root may give the file away; the permissions are kept all the same.
    [[maybe_unused]] const int owned = fchown(file.get(), earlier.st_uid, earlier.st_gid);
    if (fchmod(file.get(), earlier.st_mode & 07777) != 0) {
      cause = Cause("cannot give " + shown + " the permissions of " + Quoted(path), errno);
    }
  }
  if (!cause.empty()) {
    // the permissions could not be kept: nothing is written
  } else if (!WriteAll(file.get(), bytes, &error_number)) {
    cause = Cause("cannot write " + shown, error_number);
  } else if (fsync(file.get()) != 0) {
    cause = Cause("cannot flush " + shown + " to disk", errno);
  }
  if (cause.empty() && temporary.empty()) {
    cause = LinkUnnamed(file.get(), directory.get(), base, &temporary);
  }
  // close() reports delayed write errors of some file systems (NFS, quotas).
  if (close(file.Release()) != 0 && cause.empty()) cause = Cause("cannot write " + shown, errno);
  // renameat() replaces the directory entry whatever it is, a symbolic link included.
  if (cause.empty() &&
      renameat(directory.get(), temporary.c_str(), directory.get(), base.c_str()) != 0) {
    cause = Cause(
        "cannot rename " + Quoted(directory_path + "/" + temporary) + " to " + Quoted(path), errno);
  }
  if (!cause.empty()) {
    if (!temporary.empty()) unlinkat(directory.get(), temporary.c_str(), 0);
    *error = cause;
    return false;
  }
  // Makes the rename itself survive a crash. File systems that cannot flush a directory say
  // EINVAL; the rename is still done there.
  const Descriptor flushable(openat(directory.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (flushable.get() >= 0 && fsync(flushable.get()) != 0 && errno != EINVAL) {
    *error =
        Quoted(path) + " was written but " + Cause("cannot flush " + Quoted(directory_path), errno);
    return false;
  }
  error->clear();
  return true;
}

}  // namespace tolv
