#include "startup/options.h"

#include <ostream>

#include "tolv_version.h"

namespace tolv {
namespace {

Options Answer(Options::Action action) {
  Options options;
  options.action = action;
  return options;
}

Options Refuse(std::string why) {
  Options refused;
  refused.action = Options::Action::kUsageError;
  refused.error = std::move(why);
  return refused;
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  bool dir_given = false;
  int outputs = 0;  // --check, --pdf, --proof, --emf
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") return Answer(Options::Action::kHelp);
    if (arg == "--version") return Answer(Options::Action::kVersion);

    // An option with a value: "--dir DIR" or "--dir=DIR".
    std::string name = arg;
    std::optional<std::string> value;
    if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (name == "--dir" || name == "--pdf" || name == "--proof" || name == "--emf" ||
        name == "--reprint") {
      const std::string wanted = name == "--dir"       ? "a directory"
                                 : name == "--reprint" ? "a held document's name or all"
                                                       : "a file";
      if (!value) {
        if (i + 1 == args.size()) return Refuse(name + " needs " + wanted);
        value = args[++i];
      }
      if (value->empty()) return Refuse(name + " needs " + wanted);
      if (name == "--reprint") {
        if (!options.reprint.empty()) return Refuse("--reprint is given twice");
        // A name in held/, never a path that reaches elsewhere.
        if (value->find('/') != std::string::npos || value->find('\\') != std::string::npos ||
            value->starts_with(".")) {
          return Refuse("--reprint needs " + wanted);
        }
        options.reprint = *value;
      } else if (name == "--dir") {
        if (dir_given) return Refuse("--dir is given twice");
        dir_given = true;
        options.program_dir = *value;
      } else {
        ++outputs;
        options.pdf = *value;
        options.proof = name == "--proof";
        options.emf = name == "--emf";
      }
      continue;
    }
    if (name == "--test-page") {
      if (!value) {
        if (i + 1 == args.size()) return Refuse("--test-page needs a form type, 1 to 7");
        value = args[++i];
      }
      if (value->size() != 1 || (*value)[0] < '1' || (*value)[0] > '7') {
        return Refuse("--test-page needs a form type, 1 to 7");
      }
      if (options.test_page != 0) return Refuse("--test-page is given twice");
      options.test_page = (*value)[0] - '0';
      continue;
    }
    if (arg == "--held") {
      options.held = true;
      continue;
    }
    if (arg == "--check") {
      ++outputs;
      options.check = true;
      continue;
    }
    return Refuse(arg.starts_with("-") ? "unknown option " + arg : "unexpected argument " + arg);
  }
  if (outputs > 1) return Refuse("--check, --pdf, --proof and --emf exclude each other");
  if (options.test_page != 0 && (options.check || options.proof)) {
    return Refuse("--test-page prints a test page: no --check or --proof with it");
  }
  const int modes =
      (outputs > 0 || options.test_page != 0) + options.held + !options.reprint.empty();
  if (modes > 1) return Refuse("--held and --reprint go alone (with --dir only)");
  return options;
}

Options ParseOptions(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return ParseOptions(args);
}

std::string Usage() {
  return "Usage: tolv [--dir DIR] [--check | --pdf FILE | --proof FILE | --emf FILE]\n"
         "       tolv [--dir DIR] --test-page N [--pdf FILE | --emf FILE]\n"
         "       tolv [--dir DIR] --held | --reprint NAME|all\n"
         "       tolv --help | --version\n"
         "\n"
         "Prints the job file ZOBAX.QJT of the program directory on its pre-printed form, on the\n"
         "default printer, and ends. Without a job file nothing is printed.\n"
         "\n"
         "  --dir DIR    the program directory (job, form files, ZOBAX.PDF); also TOLV_DIR.\n"
         "               Otherwise the directory of the symbolic link tolv was started through,\n"
         "               else the directory of the executable.\n"
         "  --check      read the job and the forms, measure the default printer, and report\n"
         "               where every row goes and why one is not printed; nothing is printed.\n"
         "               Exit 1 when the report lists a problem.\n"
         "  --pdf FILE   render for the default printer's page as a run would, and write FILE\n"
         "               instead of printing\n"
         "  --proof FILE the same with the form's picture under the text, in every output mode\n"
         "               (on Windows both print to the \"Microsoft Print to PDF\" printer)\n"
         "  --emf FILE   only on Windows: the same page as an enhanced metafile, the document\n"
         "               tolv hands to the printer (FILE-2.EMF and so on for further pages)\n"
         "  --test-page N  print the outline of form type N (1 to 7) with millimetre rulers and\n"
         "               corner crosshairs where a job places it, to lay over a pre-printed\n"
         "               sheet; tolv.conf corrects a queue: [queue] ShiftX=mm ShiftY=mm\n"
         "  --held       list the documents held in held/ after failed prints: when, which\n"
         "               form type, which queue, why\n"
         "  --reprint NAME|all  hand the held document NAME (or all of them) to the default\n"
         "               printer again; each one printed is removed, the rest stay held\n"
         "  -h, --help   this text\n"
         "  --version    tolv's version and the libraries it prints with\n"
         "\n"
         "The printer: LPDEST, else PRINTER, else the lpoptions default, else the scheduler's\n"
         "default queue; TOLV_PRINTER=file writes ZOBAX.PDF without looking for a printer.\n"
         "\n"
         "Exit status: 0 printed or nothing to print, 1 the job file could not be read\n"
         "(--check: the report lists a problem; --reprint: no such document is held),\n"
         "2 not handed over (the document held in held/), 64 a usage error.\n";
}

std::string VersionText(std::string_view library_versions) {
  std::string text = "tolv " TOLV_VERSION "\n";
  if (!library_versions.empty()) text.append(library_versions).append("\n");
  return text;
}

std::optional<int> AnswerWithoutRunning(const Options& options, std::string_view library_versions,
                                        std::ostream& out, std::ostream& err) {
  switch (options.action) {
    case Options::Action::kRun:
      return std::nullopt;
    case Options::Action::kHelp:
      out << Usage();
      return 0;
    case Options::Action::kVersion:
      out << VersionText(library_versions);
      return 0;
    case Options::Action::kUsageError:
      err << "tolv: " << options.error << "\n" << Usage();
      return kUsageErrorStatus;
  }
  return kUsageErrorStatus;
}

}  // namespace tolv
