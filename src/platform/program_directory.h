// The program directory: the job file, the form files and the file printer's ZOBAX.PDF are all
// looked for there. The machine finds one; start-up chooses between it and what the caller named.
#ifndef TOLV_PLATFORM_PROGRAM_DIRECTORY_H_
#define TOLV_PLATFORM_PROGRAM_DIRECTORY_H_

#include <string>

namespace tolv {

struct ProgramDirectory {
  // Absolute, without a trailing separator; empty when none could be found.
  std::string path;
  // Why this one, in a few words ("--dir", "TOLV_DIR", "the symbolic link tolv was started
  // through", "the executable's directory").
  std::string reason;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_PROGRAM_DIRECTORY_H_
