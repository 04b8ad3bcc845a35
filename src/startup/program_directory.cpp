#include "startup/program_directory.h"

#include <filesystem>
#include <system_error>

#include "runtime/file_path.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;

// The named directory made absolute, without a trailing separator (but "/" stays "/").
std::string Absolute(const std::string& named) {
  std::error_code ignored;
  fs::path path = fs::absolute(PathFromUtf8(named), ignored).lexically_normal();
  // As UTF-8 (a narrow string() is in the ANSI code page on Windows).
  const std::u8string utf8 = path.u8string();
  std::string text(utf8.begin(), utf8.end());
  while (text.size() > 1 && (text.back() == '/' || text.back() == fs::path::preferred_separator) &&
         !(text.size() == 3 && text[1] == ':')) {
    text.pop_back();
  }
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
  if (!fs::is_directory(PathFromUtf8(named), failed)) {
    *error = reason + " " + named + ": not a directory";
    return {};
  }
  return {Absolute(named), reason};
}

}  // namespace tolv
