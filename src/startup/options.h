// The command line. Without arguments tolv does what its caller expects: read the job beside it,
// print, end. Every argument is read here, before anything else, so that a mistyped or unknown
// one can never print a waiting job by accident.
#ifndef TOLV_STARTUP_OPTIONS_H_
#define TOLV_STARTUP_OPTIONS_H_

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolv {

// Exit status of a command line tolv does not understand (BSD's EX_USAGE).
inline constexpr int kUsageErrorStatus = 64;

struct Options {
  enum class Action {
    kRun,         // read the job and print it
    kHelp,        // the usage on standard output
    kVersion,     // tolv's version and its libraries'
    kUsageError,  // the usage on standard error; nothing read or printed
  };
  Action action = Action::kRun;
  // Why the command line was refused (kUsageError).
  std::string error;
  // --dir DIR: the program directory, named explicitly. Empty when not given.
  std::string program_dir;
  // --check: a report on standard output instead of printing.
  bool check = false;
  // --pdf FILE / --proof FILE / --emf FILE: the document written to FILE instead of handed over;
  // a proof also has the form's picture under the text; --emf writes the Windows printer's own
  // document (enhanced metafiles) rather than a PDF.
  std::string pdf;
  bool proof = false;
  bool emf = false;
  // --test-page N: the outline of form type N (1 to 7) with rulers; 0 when not asked for.
  int test_page = 0;
  // --held: the held documents listed; --reprint NAME|all: handed to the printer again.
  bool held = false;
  std::string reprint;
};

// Reads the arguments after the program's name. Options take their value as the next argument or
// after "=" (--dir DIR, --dir=DIR); each may be given once; --check, --pdf, --proof and --emf
// exclude each other; --test-page, --held and --reprint each go alone (with --dir; --test-page
// also with --pdf or --emf).
Options ParseOptions(const std::vector<std::string>& args);
Options ParseOptions(int argc, const char* const* argv);

std::string Usage();
// "tolv 1.0.0" and one line naming the libraries it prints with.
std::string VersionText(std::string_view library_versions);

// Answers the options that end the program before anything is read (help, version, a usage
// error) and returns the exit status; nothing for a run.
std::optional<int> AnswerWithoutRunning(const Options& options, std::string_view library_versions,
                                        std::ostream& out, std::ostream& err);

}  // namespace tolv

#endif  // TOLV_STARTUP_OPTIONS_H_
