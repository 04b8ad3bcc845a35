// tolv.exe: reads ZOBAX.QJT beside the executable, prints it on the Windows default printer, ends.
#include <windows.h>

#include "platform/win32/program_dir.h"
#include "platform/win32/win32_platform.h"
#include "startup/main.h"

int wmain() {
  // Nothing ever waits for a person: no dialog for a missing drive, a failed load or a crash.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  tolv::Win32Platform platform(tolv::ExecutableDirectory());
  return tolv::Main(platform);
}
