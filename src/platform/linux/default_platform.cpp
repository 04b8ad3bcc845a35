// Linux: the program's directory and the atomic write from POSIX, the printer, picture boxes and
// pictures from Cairo, Pango and gdk-pixbuf, the default printer from libcups.
#include "platform/default_platform.h"

#include <cstdlib>
#include <string>

#include "platform/cairo/cairo_platform.h"
#include "platform/cairo/font_match.h"
#include "platform/cairo/glib_messages.h"
#include "platform/cairo/library_versions.h"
#include "platform/cups/cups_destination.h"
#include "platform/cups/cups_version.h"
#include "platform/posix/atomic_file.h"
#include "platform/posix/output_file.h"
#include "platform/posix/process_guard.h"
#include "platform/posix/program_dir.h"
#include "platform/posix/system_journal.h"

namespace tolv {

std::unique_ptr<Platform> MakeDefaultPlatform(const PlatformSettings& settings) {
  // Before anything is opened: closed standard descriptors, stop signals, file size limits, the
  // libraries' messages. (The command line was read before, without opening anything.)
  GuardProcess();
  RouteGLibMessages();
  const std::string program_dir =
      settings.program_dir.empty() ? ExecutableDirectory() : settings.program_dir;
  return std::make_unique<CairoPlatform>(program_dir, [program_dir, settings] {
    std::unique_ptr<Destination> destination = OpenDefaultDestination(
        program_dir, WriteFileAtomically, settings.job_title ? settings.job_title() : "tolv");
    if (!settings.adjust_destination) return destination;
    return settings.adjust_destination(std::move(destination), WriteFileAtomically);
  });
}

std::unique_ptr<Destination> FindDefaultPrinter(const std::string& program_dir,
                                                const std::string& job_title) {
  GuardProcess();
  return OpenDefaultDestination(program_dir.empty() ? ExecutableDirectory() : program_dir,
                                WriteFileAtomically, job_title);
}

std::unique_ptr<Journal> OpenJournal(const std::string& file) {
  return std::make_unique<SystemJournal>(file);
}

ProgramDirectory FoundProgramDirectory(const char* argv0) { return StartedProgramDirectory(argv0); }

void BoundStandardStreams() { BoundStandardError(); }

bool WriteStandardOutput(std::string_view text, std::string* cause) {
  if (StandardOutputWasClosed()) {
    *cause = "it was closed";
    return false;
  }
  return WriteWithin(1, text, kStandardStreamMilliseconds, cause);
}

std::string RefusedOutput(const std::string& path, const std::vector<std::string>& kept) {
  std::vector<std::string> files = kept;
  files.push_back("/proc/self/exe");
  return RefusedOutputFile(path, files);
}

bool WriteOutput(const std::string& path, std::string_view bytes, std::string* error) {
  return WriteOutputFile(path, bytes, error);
}

WholeFileWriter PreviewWriter(bool emf, std::string* why, int* status) {
  if (!emf) return WriteOutput;
  *why = "--emf is only available on Windows; --pdf FILE writes the same page as PDF";
  *status = 64;
  return nullptr;
}

// Linux passes arguments and the environment as the bytes they are.
std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::optional<std::string> EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string LibraryVersions() { return DrawingLibraryVersions() + ", " + CupsLibraryVersion(); }

}  // namespace tolv
