// Every path tolv opens is held as UTF-8 text and becomes a file system path here, in one place.
// A narrow std::filesystem::path is read in the machine's narrow encoding, which on Windows is the
// ANSI code page: a program folder named "Zürich Ω" would not survive it. UTF-8 text says what it
// is; where paths are bytes (Linux) the bytes pass unchanged, also those that are not UTF-8.
#ifndef TOLV_RUNTIME_FILE_PATH_H_
#define TOLV_RUNTIME_FILE_PATH_H_

#include <filesystem>
#include <string_view>

namespace tolv {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

}  // namespace tolv

#endif  // TOLV_RUNTIME_FILE_PATH_H_
