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

namespace {

// Nothing ever waits for a person: no dialog for a missing drive, a failed load or a crash.
void ShowNoDialogs() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

}  // namespace

std::unique_ptr<Platform> MakeDefaultPlatform(const PlatformSettings& settings) {
  ShowNoDialogs();
  const std::string program_dir =
      settings.program_dir.empty() ? ExecutableDirectory() : settings.program_dir;
  return std::make_unique<Win32Platform>(program_dir, [program_dir, settings] {
    std::unique_ptr<Destination> destination = OpenDefaultGdiDestination(
        program_dir, WriteEmfPages, settings.job_title ? settings.job_title() : "tolv");
    if (!settings.adjust_destination) return destination;
    return settings.adjust_destination(std::move(destination), WriteEmfPages);
  });
}

// The printer as a run has it: a held EMF's pages are played as the run would have played them.
std::unique_ptr<Destination> FindDefaultPrinter(const std::string& program_dir,
                                                const std::string& job_title) {
  ShowNoDialogs();
  return OpenDefaultGdiDestination(program_dir.empty() ? ExecutableDirectory() : program_dir,
                                   WriteEmfPages, job_title);
}

std::unique_ptr<Journal> OpenJournal(const std::string&) {
  return std::make_unique<EventJournal>();
}

}  // namespace tolv
