#ifndef TOLV_STARTUP_MAIN_H_
#define TOLV_STARTUP_MAIN_H_

#include "platform/platform.h"

namespace tolv {

// The whole run: the job, the form type, the printer's metrics, the form, one page driver, the end.
// Returns the exit status.
int Main(Platform& platform);

}  // namespace tolv

#endif  // TOLV_STARTUP_MAIN_H_
