#include "platform/posix/program_dir.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace tolv {
namespace {

namespace fs = std::filesystem;

// The file the shell would have run for `name` (no "/" in it): the first executable regular file
// of that name along PATH; an empty entry is the current directory.
std::string SearchPath(const std::string& name) {
  const char* path_env = std::getenv("PATH");
  std::string_view path = path_env != nullptr ? path_env : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const size_t colon = path.find(':');
    const std::string_view dir = path.substr(0, colon);
    const std::string candidate = (fs::path(dir.empty() ? "." : dir) / name).string();
    struct stat info {};
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string_view::npos) return {};
    path.remove_prefix(colon + 1);
  }
}

bool SameFile(const char* a, const char* b) {
  struct stat first {
  }, second{};
  return stat(a, &first) == 0 && stat(b, &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

}  // namespace

std::string ExecutableDirectory(std::string* problem) {
  std::string ignored;
  std::string& why = problem != nullptr ? *problem : ignored;
  // The kernel hands out the resolved path of the executable; one that does not fit in PATH_MAX
  // cannot be opened by name either.
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length < 0) {
    why = std::string("the program's own path cannot be read: ") + std::strerror(errno);
    return {};
  }
  if (static_cast<size_t>(length) >= buffer.size() - 1) {
    why = "the program's path is longer than the system allows";
    return {};
  }
  const std::string_view exe(buffer.data(), static_cast<size_t>(length));
  constexpr std::string_view kDeleted = " (deleted)";
  if (exe.size() >= kDeleted.size() && exe.substr(exe.size() - kDeleted.size()) == kDeleted &&
      access(std::string(exe).c_str(), F_OK) != 0) {
    why = "the program's file was removed or replaced while it started";
    return {};
  }
  const size_t slash = exe.rfind('/');
  if (exe.empty() || exe[0] != '/' || slash == std::string_view::npos) {
    why = "the program's own path is not a path";
    return {};
  }
  return slash == 0 ? std::string("/") : std::string(exe.substr(0, slash));
}

ProgramDirectory StartedProgramDirectory(const char* argv0) {
  std::string started = argv0 != nullptr ? argv0 : "";
  if (!started.empty() && started.find('/') == std::string::npos) started = SearchPath(started);
  struct stat link {};
  // argv[0] is whatever the caller chose: a link is trusted only when it leads to this very
  // executable.
  if (!started.empty() && lstat(started.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
      SameFile(started.c_str(), "/proc/self/exe")) {
    std::error_code error;
    const fs::path dir = fs::absolute(fs::path(started).parent_path(), error).lexically_normal();
    if (!error) {
      std::string text = dir.string();
      while (text.size() > 1 && text.back() == '/') text.pop_back();
      return {text, "the symbolic link tolv was started through"};
    }
  }
  return {ExecutableDirectory(), "the executable's directory"};
}

}  // namespace tolv
