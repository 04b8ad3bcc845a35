#include "platform/posix/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/posix/atomic_file.h"
#include "platform/posix/process_guard.h"
#include "runtime/quoted.h"

namespace tolv {
namespace {

// How long the document may take to go to standard output: a reader that stopped reading
// fails the run instead of holding it.
constexpr int kStandardOutputMilliseconds = 30000;

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What becomes of the output.
struct Plan {
  enum class Kind { kRefuse, kStandardOutput, kDevice, kReplace };
  Kind kind = Kind::kReplace;
  std::string why;  // kRefuse
};

Plan Refuse(std::string why) { return {Plan::Kind::kRefuse, std::move(why)}; }

// Whether a directory is one of the machine's own (/dev, /proc, /sys): names there are devices
// and the process's descriptors (/dev/stdout is a link to /proc/self/fd/1), never replaced.
bool SystemDirectory(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::unique_ptr<char, decltype(&free)> real(realpath(directory.c_str(), nullptr), &free);
  if (!real) return false;  // the write says why the directory cannot be used
  const std::string resolved = real.get();
  for (const char* system : {"/dev", "/proc", "/sys"}) {
    if (resolved == system || resolved.starts_with(std::string(system) + "/")) return true;
  }
  return false;
}

Plan PlanOutput(const std::string& path, const std::vector<std::string>& kept) {
  struct stat entry {};
  struct stat target {};
  const bool exists = lstat(path.c_str(), &entry) == 0;
  // A link that leads nowhere is replaced like a missing name.
  const bool reaches = exists && stat(path.c_str(), &target) == 0;
  if (reaches) {
    for (const std::string& file : kept) {
      struct stat other {};
      if (stat(file.c_str(), &other) == 0 && SameFile(other, target)) {
        return Refuse(file == "/proc/self/exe" ? "it is the program itself"
                                               : "it is " + Quoted(file) + ", which tolv reads");
      }
    }
    // /dev/stdout and its like: the document goes where standard output goes, a pipe included.
    struct stat output {};
    if (fstat(1, &output) == 0 && SameFile(output, target))
      return {Plan::Kind::kStandardOutput, ""};
    if (S_ISCHR(target.st_mode)) return {Plan::Kind::kDevice, ""};
    if (S_ISDIR(target.st_mode)) return Refuse("it is a directory");
    if (S_ISFIFO(target.st_mode)) return Refuse("it is a FIFO");
    if (S_ISSOCK(target.st_mode)) return Refuse("it is a socket");
    if (S_ISBLK(target.st_mode)) return Refuse("it is a block device");
  }
  if (SystemDirectory(path)) return Refuse("tolv makes or replaces no file in /dev, /proc or /sys");
  return {Plan::Kind::kReplace, ""};
}

// Writes into an open device or stream, as it is.
bool WriteInto(int fd, const std::string& path, std::string_view bytes, std::string* error) {
  std::string cause;
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      cause = n < 0 ? std::strerror(errno) : "nothing was taken";
      break;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  if (!cause.empty()) {
    *error = "cannot write " + Quoted(path) + ": " + cause;
    return false;
  }
  error->clear();
  return true;
}

}  // namespace

std::string RefusedOutputFile(const std::string& path, const std::vector<std::string>& kept) {
  const Plan plan = PlanOutput(path, kept);
  return plan.kind == Plan::Kind::kRefuse ? Quoted(path) + " cannot be written: " + plan.why : "";
}

bool WriteOutputFile(const std::string& path, std::string_view bytes, std::string* error) {
  // Checked again at the write: the name may have changed since the run began.
  const Plan plan = PlanOutput(path, {});
  switch (plan.kind) {
    case Plan::Kind::kRefuse:
      *error = Quoted(path) + " cannot be written: " + plan.why;
      return false;
    case Plan::Kind::kStandardOutput: {
      std::string cause;
      if (!WriteWithin(1, bytes, kStandardOutputMilliseconds, &cause)) {
        *error = "cannot write " + Quoted(path) + ": " + cause;
        return false;
      }
      error->clear();
      return true;
    }
    case Plan::Kind::kDevice: {
      // A device is written into, never replaced: /dev/null throws the document away, /dev/full
      // fails as a full disk does.
      const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      if (fd < 0) {
        *error = "cannot open " + Quoted(path) + ": " + std::strerror(errno);
        return false;
      }
      struct stat opened {};
      bool written = false;
      if (fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode)) {
        *error = Quoted(path) + " cannot be written: it changed while it was opened";
      } else {
        written = WriteInto(fd, path, bytes, error);
      }
      close(fd);
      return written;
    }
    case Plan::Kind::kReplace:
      break;
  }
  return WriteFileAtomically(path, bytes, error);
}

}  // namespace tolv
