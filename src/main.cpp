// tolv: reads ZOBAX.QJT beside the executable, prints it, ends. No arguments, no configuration.
#include <string>

#include "platform/cairo/cairo_platform.h"
#include "platform/cups/cups_destination.h"
#include "platform/posix/program_dir.h"
#include "startup/main.h"

int main() {
  const std::string program_dir = tolv::ExecutableDirectory();
  // The default printer is looked for only when there is a job to print.
  tolv::CairoPlatform platform(program_dir,
                               [program_dir] { return tolv::OpenDefaultDestination(program_dir); });
  return tolv::Main(platform);
}
