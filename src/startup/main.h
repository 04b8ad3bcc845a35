#ifndef TOLV_STARTUP_MAIN_H_
#define TOLV_STARTUP_MAIN_H_

#include <ostream>
#include <string>

#include "job/run_trace.h"
#include "platform/platform.h"

namespace tolv {

// The whole run: the job, the form type, the printer's metrics, the form, one page driver, the end.
// Returns the exit status: 1, after one line on `errors`, when there is a job file that cannot be
// read or no program directory to find it in. `trace`, when given, records what the run did
// (tolv --check, a proof).
// `held_job`, when given, is the job's text in place of the program directory's job file (a held
// document laid out again).
int Main(Platform& platform, std::ostream& errors, RunTrace* trace = nullptr,
         const std::string* held_job = nullptr);
int Main(Platform& platform, RunTrace* trace = nullptr);

}  // namespace tolv

#endif  // TOLV_STARTUP_MAIN_H_
