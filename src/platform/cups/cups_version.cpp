#include "platform/cups/cups_version.h"

#include <cups/cups.h>

namespace tolv {

std::string CupsLibraryVersion() {
  return "libcups " + std::to_string(CUPS_VERSION_MAJOR) + "." +
         std::to_string(CUPS_VERSION_MINOR) + "." + std::to_string(CUPS_VERSION_PATCH);
}

}  // namespace tolv
