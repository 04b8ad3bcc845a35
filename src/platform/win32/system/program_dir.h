// The directory of the running tolv.exe, for shared code as UTF-8.
#ifndef TOLV_PLATFORM_WIN32_SYSTEM_PROGRAM_DIR_H_
#define TOLV_PLATFORM_WIN32_SYSTEM_PROGRAM_DIR_H_

#include <string>
#include <string_view>

namespace tolv {

// The folder of the running executable (GetModuleFileNameW, any length), without a trailing
// separator, in UTF-8. Empty when it cannot be found.
std::string ExecutableDirectory();

// UTF-16 to UTF-8 and back, as Windows hands out and takes names. Unpaired surrogates become
// U+FFFD.
std::string WideToUtf8(std::wstring_view wide);
std::wstring Utf8ToWide(std::string_view utf8);

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_SYSTEM_PROGRAM_DIR_H_
