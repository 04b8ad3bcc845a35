// Which directory is the program directory: the job file, the form files and the file printer's
// ZOBAX.PDF are all looked for there.
#ifndef TOLV_STARTUP_PROGRAM_DIRECTORY_H_
#define TOLV_STARTUP_PROGRAM_DIRECTORY_H_

#include <string>

namespace tolv {

struct ProgramDirectory {
  // Absolute, without a trailing separator; empty when none could be found.
  std::string path;
  // Why this one, in a few words ("--dir", "TOLV_DIR", "the symbolic link tolv was started
  // through", "the executable's directory").
  std::string reason;
};

// The precedence: --dir, then a non-empty TOLV_DIR, then what the platform found (the symbolic
// link's directory or the executable's). An explicit directory that is not an existing directory
// is refused (`error` says why) rather than quietly finding no job in it.
ProgramDirectory ChooseProgramDirectory(const std::string& option_dir, const char* tolv_dir_env,
                                        const ProgramDirectory& found, std::string* error);

}  // namespace tolv

#endif  // TOLV_STARTUP_PROGRAM_DIRECTORY_H_
