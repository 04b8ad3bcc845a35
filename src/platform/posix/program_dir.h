#ifndef TOLV_PLATFORM_POSIX_PROGRAM_DIR_H_
#define TOLV_PLATFORM_POSIX_PROGRAM_DIR_H_

#include <string>

namespace tolv {

// The directory of the running executable (/proc/self/exe, symbolic links resolved), without a
// trailing slash. Empty when it cannot be found.
std::string ExecutableDirectory();

}  // namespace tolv

#endif  // TOLV_PLATFORM_POSIX_PROGRAM_DIR_H_
