// Windows: the program's folder from GetModuleFileNameW, the printer, picture boxes and pictures
// from GDI and WIC, the default printer from winspool.
#include "platform/default_platform.h"

#include <windows.h>

#include "platform/win32/emf_document.h"
#include "platform/win32/event_journal.h"
#include "platform/win32/gdi_destination.h"
#include "platform/win32/system/program_dir.h"
#include "platform/win32/win32_platform.h"

namespace tolv {

std::unique_ptr<Platform> MakeDefaultPlatform(const PlatformSettings& settings) {
  // Nothing ever waits for a person: no dialog for a missing drive, a failed load or a crash.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  const std::string program_dir =
      settings.program_dir.empty() ? ExecutableDirectory() : settings.program_dir;
  return std::make_unique<Win32Platform>(program_dir, [program_dir, settings] {
    std::unique_ptr<Destination> destination = OpenDefaultGdiDestination(
        program_dir, WriteEmfPages, settings.job_title ? settings.job_title() : "tolv");
    if (!settings.adjust_destination) return destination;
    return settings.adjust_destination(std::move(destination), WriteEmfPages);
  });
}

// The GDI printer plays its own pages; a held EMF cannot be handed to it yet.
std::unique_ptr<Destination> FindDefaultPrinter(const std::string&, const std::string&) {
  return nullptr;
}

std::unique_ptr<Journal> OpenJournal(const std::string&) {
  return std::make_unique<EventJournal>();
}

}  // namespace tolv
