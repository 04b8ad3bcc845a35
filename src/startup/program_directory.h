// Which directory is the program directory: what the caller named, or what the machine found.
#ifndef TOLV_STARTUP_PROGRAM_DIRECTORY_H_
#define TOLV_STARTUP_PROGRAM_DIRECTORY_H_

#include <string>

#include "platform/program_directory.h"

namespace tolv {

// The precedence: --dir, then a non-empty TOLV_DIR, then what the platform found (the symbolic
// link's directory or the executable's). An explicit directory that is not an existing directory
// is refused (`error` says why) rather than quietly finding no job in it.
ProgramDirectory ChooseProgramDirectory(const std::string& option_dir, const char* tolv_dir_env,
                                        const ProgramDirectory& found, std::string* error);

}  // namespace tolv

#endif  // TOLV_STARTUP_PROGRAM_DIRECTORY_H_
