// tolv: reads ZOBAX.QJT beside the executable, prints it, ends. No arguments, no configuration.
#include "startup/main.h"

#include <iostream>
#include <new>
#include <string>

#include "platform/cairo/cairo_platform.h"
#include "platform/cups/cups_destination.h"
#include "platform/posix/process_guard.h"
#include "platform/posix/program_dir.h"

int main() {
  // Before anything is opened: closed standard descriptors, signals, file size limits.
  tolv::GuardProcess();
  try {
    std::string problem;
    const std::string program_dir = tolv::ExecutableDirectory(&problem);
    if (program_dir.empty()) {
      // Without its directory the program cannot know whether it has a job: not "no job".
      tolv::ErrorStream() << "tolv: the job file cannot be read: " << problem << "\n" << std::flush;
      return 1;
    }
    // The default printer is looked for only when there is a job to print.
    tolv::CairoPlatform platform(
        program_dir, [program_dir] { return tolv::OpenDefaultDestination(program_dir); },
        tolv::ErrorStream());
    return tolv::Main(platform, tolv::ErrorStream());
  } catch (const std::bad_alloc&) {
    // Memory ran out: one line and the failure status, not an abort with a library's message.
    tolv::ErrorStream() << "tolv: out of memory; nothing was printed\n" << std::flush;
    return 2;
  }
}
