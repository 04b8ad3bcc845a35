#include "startup/main.h"

#include "form/tolv_form.h"
#include "platform/runtime.h"
#include "startup/check_report.h"
#include "startup/form_type.h"
#include "startup/job_file.h"

namespace tolv {

int Main(Platform& platform, RunTrace* trace) {
  JobState job;
  const std::string program_dir = platform.ProgramDirectory();
  // Without a job file nothing is read, no printer is looked for, and nothing is written. A
  // program that cannot find its own directory has no job file either (never "/ZOBAX.QJT").
  if (program_dir.empty() || !LoadJob(job, program_dir, trace)) {
    if (trace != nullptr) trace->Note("job file", "none: nothing to print");
    return 0;
  }

  if (trace != nullptr) trace->form_type = job.PrintJob.Blank;
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
