#ifndef TOLV_STARTUP_MAIN_H_
#define TOLV_STARTUP_MAIN_H_

#include <ostream>

#include "platform/platform.h"

namespace tolv {

// The whole run: the job, the form type, the printer's metrics, the form, one page driver, the end.
// Returns the exit status: 1, after one line on `errors`, when there is a job file that cannot be
// read or no program directory to find it in.
int Main(Platform& platform, std::ostream& errors);
int Main(Platform& platform);

}  // namespace tolv

#endif  // TOLV_STARTUP_MAIN_H_
