#ifndef TOLV_PLATFORM_CUPS_CUPS_VERSION_H_
#define TOLV_PLATFORM_CUPS_CUPS_VERSION_H_

#include <string>

namespace tolv {

// "libcups 2.4.2": the version tolv was built against (libcups has no run-time query).
std::string CupsLibraryVersion();

}  // namespace tolv

#endif  // TOLV_PLATFORM_CUPS_CUPS_VERSION_H_
