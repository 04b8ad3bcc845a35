#ifndef TOLV_PLATFORM_POSIX_PROGRAM_DIR_H_
#define TOLV_PLATFORM_POSIX_PROGRAM_DIR_H_

#include <string>

#include "platform/program_directory.h"

namespace tolv {

// The directory of the running executable (/proc/self/exe, symbolic links resolved), without a
// trailing slash. Empty when it cannot be found, with `problem` (when given) saying why: the
// executable's file was removed or replaced while the program started, or its path is longer
// than the system can hand out.
std::string ExecutableDirectory(std::string* problem = nullptr);

// The program directory as the process was started: when the path it was started by (`argv0`,
// looked up in PATH as the shell does when it has no "/") is a symbolic link to the running
// executable, the link's own directory, so one installed tolv serves callers that link it into
// their folders; otherwise the executable's directory.
ProgramDirectory StartedProgramDirectory(const char* argv0);

}  // namespace tolv

#endif  // TOLV_PLATFORM_POSIX_PROGRAM_DIR_H_
