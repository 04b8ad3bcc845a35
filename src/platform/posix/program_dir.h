#ifndef TOLV_PLATFORM_POSIX_PROGRAM_DIR_H_
#define TOLV_PLATFORM_POSIX_PROGRAM_DIR_H_

#include <string>

namespace tolv {

// The directory of the running executable (/proc/self/exe, symbolic links resolved), without a
// trailing slash. Empty when it cannot be found, with `problem` (when given) saying why: the
// executable's file was removed or replaced while the program started, or its path is longer
// than the system can hand out.
std::string ExecutableDirectory(std::string* problem = nullptr);

}  // namespace tolv

#endif  // TOLV_PLATFORM_POSIX_PROGRAM_DIR_H_
