#include "platform/posix/program_dir.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace tolv {

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

}  // namespace tolv
