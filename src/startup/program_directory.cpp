#include "startup/program_directory.h"

#include <filesystem>
#include <system_error>

namespace tolv {
namespace {

namespace fs = std::filesystem;

// The named directory made absolute, without a trailing separator (but "/" stays "/").
std::string Absolute(const std::string& named) {
  std::error_code ignored;
  fs::path path = fs::absolute(named, ignored).lexically_normal();
  std::string text = path.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

ProgramDirectory ChooseProgramDirectory(const std::string& option_dir, const char* tolv_dir_env,
                                        const ProgramDirectory& found, std::string* error) {
  std::string named;
  std::string reason;
  if (!option_dir.empty()) {
    named = option_dir;
    reason = "--dir";
  } else if (tolv_dir_env != nullptr && *tolv_dir_env != '\0') {
    named = tolv_dir_env;
    reason = "TOLV_DIR";
  } else {
    return found;
  }
  std::error_code failed;
  if (!fs::is_directory(named, failed)) {
    *error = reason + " " + named + ": not a directory";
    return {};
  }
  return {Absolute(named), reason};
}

}  // namespace tolv
