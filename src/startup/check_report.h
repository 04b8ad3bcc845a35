// tolv --check: the report of a run that did everything but hand the document over. Every line
// comes from what the run's steps recorded (RunTrace): the job reader, the page drivers, the
// layouts and their fit tests, the destination that was measured.
#ifndef TOLV_STARTUP_CHECK_REPORT_H_
#define TOLV_STARTUP_CHECK_REPORT_H_

#include <string>

#include "destination/destination.h"
#include "destination/queue_correction.h"
#include "job/job.h"
#include "job/run_trace.h"

namespace tolv {

// The job's settings after start-up, what they mean, and the form files beside the program.
void NoteJob(const JobState& job, const std::string& program_dir, RunTrace& trace);
// The printer the run measured.
void NoteDestination(const Destination& destination, RunTrace& trace);

// The queue's correction from tolv.conf.
void NoteCorrection(const QueueCorrection& correction, RunTrace& trace);

// The report; `problems` (when given) is set to whether it lists a problem.
std::string CheckReport(const RunTrace& trace, bool* problems);

}  // namespace tolv

#endif  // TOLV_STARTUP_CHECK_REPORT_H_
