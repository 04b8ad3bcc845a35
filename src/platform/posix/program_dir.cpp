#include "platform/posix/program_dir.h"

#include <filesystem>
#include <system_error>

namespace tolv {

std::string ExecutableDirectory() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe", error);
  if (error) return {};
  return exe.parent_path().string();
}

}  // namespace tolv
