// The platform the program runs on, wired once: each platform folder defines MakeDefaultPlatform
// (src/platform/linux for Linux), and the build picks one.
#ifndef TOLV_PLATFORM_DEFAULT_PLATFORM_H_
#define TOLV_PLATFORM_DEFAULT_PLATFORM_H_

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "destination/destination.h"
#include "destination/file_printer.h"
#include "destination/journal.h"
#include "platform/platform.h"
#include "platform/program_directory.h"

namespace tolv {

// The real platform of this machine: its program directory, its default printer (looked for only
// at the first DefaultPrinter()), its picture boxes and picture loader.
// What the command line asks of the platform.
struct PlatformSettings {
  // The program directory; empty: the executable's.
  std::string program_dir;
  // The name the job gets in the queue, asked when the printer is found.
  std::function<std::string()> job_title;
  // Every destination found passes through this step (the operator's preview, check and queue
  // correction), with the machine's atomic file writer.
  std::function<std::unique_ptr<Destination>(std::unique_ptr<Destination>, WholeFileWriter)>
      adjust_destination;
};
std::unique_ptr<Platform> MakeDefaultPlatform(const PlatformSettings& settings = {});

// The default printer as a run finds it, for a document made before (a held one), its job named
// `job_title`; nullptr where the machine cannot hand over a finished document.
std::unique_ptr<Destination> FindDefaultPrinter(const std::string& program_dir,
                                                const std::string& job_title);

// The machine's journal (journal.h), also appending to `file` where the machine can; "" none.
std::unique_ptr<Journal> OpenJournal(const std::string& file);

// The program directory as the machine finds it: the directory of the symbolic link the program
// was started through (`argv0`), else the executable's.
ProgramDirectory FoundProgramDirectory(const char* argv0);
// The libraries the program prints with and their versions, for --version.
std::string LibraryVersions();
// First thing in main: the one line of a failure is written to standard error within a bound
// time, so that a caller who stopped reading never holds the run.
void BoundStandardStreams();
// A report (--check, --help, --version) on standard output, written within a bound time. False,
// with `cause`, when not all of it was written.
bool WriteStandardOutput(std::string_view text, std::string* cause);
// Why the operator's output file (--pdf, --proof) may not be written, as one line; empty when it
// may. `kept` names the files tolv reads (the job, the forms, tolv.conf); the executable is
// refused too.
std::string RefusedOutput(const std::string& path, const std::vector<std::string>& kept);
// Writes the operator's output file: a device is written into, a file replaced whole.
bool WriteOutput(const std::string& path, std::string_view bytes, std::string* error);
// How this machine writes the operator's preview of the printer's document: as PDF (--pdf,
// --proof) or as the printer's own enhanced metafiles (--emf). Nothing, with one line in `why`
// and the exit status in `status`, when the machine cannot write that kind.
WholeFileWriter PreviewWriter(bool emf, std::string* why, int* status);
// The command line, the program's name first, and an environment variable, as UTF-8 whatever
// the machine's code page (Windows hands the ANSI code page to main).
std::vector<std::string> CommandLineArguments(int argc, char** argv);
std::optional<std::string> EnvironmentValue(const char* name);
// The family the machine's font matching gives a face, bold, for --check; empty when unknown.
std::string MatchedFontFamily(const std::u32string& face);
// The characters of `text` no font of the machine can show in `face`, for --check.
std::u32string CharactersWithoutGlyph(const std::u32string& face, const std::u32string& text);

}  // namespace tolv

#endif  // TOLV_PLATFORM_DEFAULT_PLATFORM_H_
