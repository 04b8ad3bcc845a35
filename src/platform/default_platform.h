// The platform the program runs on, wired once: each platform folder defines MakeDefaultPlatform
// (src/platform/linux for Linux), and the build picks one.
#ifndef TOLV_PLATFORM_DEFAULT_PLATFORM_H_
#define TOLV_PLATFORM_DEFAULT_PLATFORM_H_

#include <memory>

#include "platform/platform.h"

namespace tolv {

// The real platform of this machine: its program directory, its default printer (looked for only
// at the first DefaultPrinter()), its picture boxes and picture loader.
std::unique_ptr<Platform> MakeDefaultPlatform();

}  // namespace tolv

#endif  // TOLV_PLATFORM_DEFAULT_PLATFORM_H_
