#include "startup/main.h"

#include <iostream>

#include "form/tolv_form.h"
#include "platform/runtime.h"
#include "startup/form_type.h"
#include "startup/job_file.h"

namespace tolv {

int Main(Platform& platform) { return Main(platform, std::cerr); }

int Main(Platform& platform, std::ostream& errors) {
  JobState job;
  const std::string program_dir = platform.ProgramDirectory();
  // A program that cannot find its own directory cannot tell whether it has a job: that is a
  // failure to read one (never a look for "/ZOBAX.QJT").
  if (program_dir.empty()) {
    errors << "tolv: the job file cannot be read: the program's directory cannot be found\n"
           << std::flush;
    return 1;
  }
  // Without a job file nothing is read, no printer is looked for, and nothing is written.
  std::string problem;
  switch (LoadJobFile(job, program_dir, &problem)) {
    case JobLoad::kMissing:
      return 0;
    case JobLoad::kUnreadable:
      errors << "tolv: " << problem << "\n" << std::flush;
      return 1;
    case JobLoad::kLoaded:
      break;
  }

  InitFormType(job, program_dir);
  InitPrinterMetrics(job, platform.DefaultPrinter());
  {
    TolvForm form(job, platform);
    form.Show();
  }
  return platform.EndProgram();
}

}  // namespace tolv
