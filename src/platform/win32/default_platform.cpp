// Windows: the program's folder from GetModuleFileNameW, the printer, picture boxes and pictures
// from GDI and WIC, the default printer from winspool.
#include "platform/default_platform.h"

#include <windows.h>

#include "platform/win32/event_journal.h"
#include "platform/win32/system/program_dir.h"
#include "platform/win32/win32_platform.h"

namespace tolv {

// The GDI printer is not a Destination: the settings' job title and destination step (the
// operator's preview, check and queue correction) do not reach it; main refuses those options here.
std::unique_ptr<Platform> MakeDefaultPlatform(const PlatformSettings& settings) {
  // Nothing ever waits for a person: no dialog for a missing drive, a failed load or a crash.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  return std::make_unique<Win32Platform>(settings.program_dir.empty() ? ExecutableDirectory()
                                                                      : settings.program_dir);
}

// The GDI printer plays its own pages; a held EMF cannot be handed to it yet.
std::unique_ptr<Destination> FindDefaultPrinter(const std::string&, const std::string&) {
  return nullptr;
}

std::unique_ptr<Journal> OpenJournal(const std::string&) {
  return std::make_unique<EventJournal>();
}

}  // namespace tolv
