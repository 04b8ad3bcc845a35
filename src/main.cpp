// tolv: reads ZOBAX.QJT in the program directory, prints it, ends. The arguments are read first,
// so that none of them can print a waiting job by accident.
#include "startup/main.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/cairo/cairo_platform.h"
#include "platform/cairo/library_versions.h"
#include "platform/cups/cups_destination.h"
#include "platform/cups/cups_version.h"
#include "platform/posix/program_dir.h"
#include "startup/options.h"
#include "startup/program_directory.h"

int main(int argc, char** argv) {
  const tolv::Options options = tolv::ParseOptions(argc, argv);
  const std::string versions = tolv::DrawingLibraryVersions() + ", " + tolv::CupsLibraryVersion();
  if (auto status = tolv::AnswerWithoutRunning(options, versions, std::cout, std::cerr)) {
    return *status;
  }
  std::string error;
  const tolv::ProgramDirectory dir = tolv::ChooseProgramDirectory(
      options.program_dir, std::getenv("TOLV_DIR"),
      tolv::StartedProgramDirectory(argc > 0 ? argv[0] : nullptr), &error);
  if (!error.empty()) {
    std::cerr << "tolv: " << error << "\n";
    return tolv::kUsageErrorStatus;
  }
  const std::string program_dir = dir.path;
  // The default printer is looked for only when there is a job to print.
  tolv::CairoPlatform platform(program_dir,
                               [program_dir] { return tolv::OpenDefaultDestination(program_dir); });
  return tolv::Main(platform);
}
