// Linux: the program's directory and the atomic write from POSIX, the printer, picture boxes and
// pictures from Cairo, Pango and gdk-pixbuf, the default printer from libcups.
#include "platform/default_platform.h"

#include <string>

#include "platform/cairo/cairo_platform.h"
#include "platform/cups/cups_destination.h"
#include "platform/posix/atomic_file.h"
#include "platform/posix/program_dir.h"

namespace tolv {

std::unique_ptr<Platform> MakeDefaultPlatform() {
  const std::string program_dir = ExecutableDirectory();
  return std::make_unique<CairoPlatform>(program_dir, [program_dir] {
    return OpenDefaultDestination(program_dir, WriteFileAtomically);
  });
}

}  // namespace tolv
