#include "startup/main.h"

#include <iostream>

#include "form/tolv_form.h"
#include "job/job_file.h"
#include "runtime/runtime.h"
#include "startup/check_report.h"
#include "startup/form_type.h"

namespace tolv {

int Main(Platform& platform, RunTrace* trace) { return Main(platform, std::cerr, trace); }

int Main(Platform& platform, std::ostream& errors, RunTrace* trace, const std::string* held_job) {
  JobState job;
  const std::string program_dir = platform.ProgramDirectory();
  // A program that cannot find its own directory cannot tell whether it has a job: that is a
  // failure to read one (never a look for "/ZOBAX.QJT").
  if (program_dir.empty()) {
    errors << "tolv: the job file cannot be read: the program's directory cannot be found\n"
           << std::flush;
    if (trace != nullptr) trace->Problem("the program's directory cannot be found");
    return 1;
  }
  // Without a job file nothing is read, no printer is looked for, and nothing is written.
  std::string problem;
  if (held_job != nullptr) {
    ReadJobText(job, *held_job, trace);
    if (trace != nullptr) trace->job_text = *held_job;
  }
  switch (held_job != nullptr ? JobLoad::kLoaded : LoadJobFile(job, program_dir, &problem, trace)) {
    case JobLoad::kMissing:
      if (trace != nullptr) trace->Note("job file", "none: nothing to print");
      return 0;
    case JobLoad::kUnreadable:
      errors << "tolv: " << problem << "\n" << std::flush;
      if (trace != nullptr) trace->Problem(problem);
      return 1;
    case JobLoad::kLoaded:
      break;
  }

  if (trace != nullptr) {
    trace->form_type = job.PrintJob.Blank;
    trace->output_mode = job.PrintJob.PaperType;
  }
  InitFormType(job, program_dir);
  InitPrinterMetrics(job, platform.DefaultPrinter());
  if (trace != nullptr) NoteJob(job, program_dir, *trace);
  {
    TolvForm form(job, platform, trace);
    form.Show();
  }
  return platform.EndProgram();
}

}  // namespace tolv
