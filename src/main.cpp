// tolv: reads ZOBAX.QJT in the program directory, prints it, ends. The arguments are read first,
// so that none of them can print a waiting job by accident.
#include "startup/main.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "destination/held_documents.h"
#include "destination/queue_correction.h"
#include "destination/run_destinations.h"
#include "job/job_file.h"
#include "platform/default_platform.h"
#include "startup/check_report.h"
#include "startup/options.h"
#include "startup/program_directory.h"
#include "startup/proof.h"
#include "startup/reprint.h"
#include "startup/test_page.h"

namespace {

// An exception where none may pass (memory running out in a destructor, say) ends the run as any
// failure does: one line and status 2, not the runtime's message and an abort.
[[noreturn]] void EndOnTerminate() {
  const char* what = "internal error";
  if (const std::exception_ptr escaped = std::current_exception()) {
    try {
      std::rethrow_exception(escaped);
    } catch (const std::bad_alloc&) {
      what = "out of memory";
    } catch (...) {
    }
  }
  std::cerr << "tolv: " << what << "; nothing was printed\n" << std::flush;
  std::_Exit(2);
}

// A report on standard output: 0 once written whole, else 2 after one line (a report that did
// not arrive is no answer).
int Report(const std::string& text) {
  std::string cause;
  if (tolv::WriteStandardOutput(text, &cause)) return 0;
  std::cerr << "tolv: the report could not be written to standard output: " << cause << "\n"
            << std::flush;
  return 2;
}

// The test page's label: which printer, paper and correction it was printed with, and when.
std::vector<std::string> TestPageLabel(const tolv::Destination& printer,
                                       const tolv::QueueCorrection& correction) {
  const tolv::PrinterDevice& d = printer.Device();
  const std::time_t now = std::time(nullptr);
  char date[32] = "";
  if (const std::tm* local = std::localtime(&now)) {
    std::strftime(date, sizeof(date), "%Y-%m-%d %H:%M", local);
  }
  char shift[96];
  std::snprintf(shift, sizeof(shift), "tolv.conf moves the page %.2f mm right, %.2f mm down",
                correction.shift_x_mm, correction.shift_y_mm);
  return {
      "tolv test page, " + std::string(date),
      (printer.Queue().empty() ? "the file printer" : "queue " + printer.Queue()) + ", paper " +
          d.media + ", " + std::to_string(std::lround(d.dpi_x)) + "x" +
          std::to_string(std::lround(d.dpi_y)) + " dpi",
      "correction: " + (correction.found ? std::string(shift) : std::string("none")),
      "Lay a pre-printed sheet over this page against the light; its offset in mm goes in "
      "tolv.conf.",
  };
}

// A run of the job: read, laid out, handed to the printer (or checked, previewed). `reprint`,
// when given, is a held document whose job is laid out again in place of the program directory's
// job file: a failure keeps that document held where it is.
struct HeldReprint {
  const tolv::HeldDocument& held;
  const std::string& job;
  std::ostream& printed;  // the line of a reprint that printed
};

int RunJob(const tolv::Options& options, const tolv::ProgramDirectory& dir,
           tolv::WholeFileWriter preview_writer, const HeldReprint* reprint) {
  const std::string program_dir = dir.path;
  // The run records what it does: a check reports it, a proof draws the form where it was placed.
  std::unique_ptr<tolv::RunTrace> trace =
      options.proof ? std::make_unique<tolv::ProofTrace>() : std::make_unique<tolv::RunTrace>();
  if (options.check) {
    trace->Note("program dir", program_dir + " (" + dir.reason + ")");
    trace->match_font = tolv::MatchedFontFamily;
    trace->unshown_characters = tolv::CharactersWithoutGlyph;
  }
  tolv::HandOverRecord record;
  tolv::PlatformSettings settings;
  settings.program_dir = program_dir;
  // The queue sees the form type, never the job's content.
  settings.job_title = [&] {
    return options.test_page != 0 ? std::string("tolv: test page")
                                  : "tolv: form type " + std::to_string(trace->form_type);
  };
  // The queue's correction, once the printer is found: a check asks it whether it lost marks.
  const tolv::ShiftedDestination* shifted_printer = nullptr;
  std::vector<std::string> test_page_label;
  const tolv::CheckDestination* check_printer = nullptr;
  settings.adjust_destination = [&](std::unique_ptr<tolv::Destination> printer,
                                    tolv::WholeFileWriter) {
    const tolv::QueueCorrection correction =
        tolv::ReadQueueCorrection(program_dir, printer->Queue());
    if (options.test_page != 0) test_page_label = TestPageLabel(*printer, correction);
    if (correction.found) {
      auto shifted = std::make_unique<tolv::ShiftedDestination>(
          std::move(printer), correction.shift_x_mm, correction.shift_y_mm);
      shifted_printer = shifted.get();
      printer = std::move(shifted);
    }
    // A correction that cannot be used is said, and the page prints without it.
    if (!options.check) {
      for (const std::string& problem : correction.problems) {
        std::cerr << "tolv: " << problem << "\n" << std::flush;
      }
    }
    if (options.check) {
      tolv::NoteDestination(*printer, *trace);
      tolv::NoteCorrection(correction, *trace);
      auto check = std::make_unique<tolv::CheckDestination>(std::move(printer));
      check_printer = check.get();
      return std::unique_ptr<tolv::Destination>(std::move(check));
    }
    if (!options.pdf.empty()) {
      return std::unique_ptr<tolv::Destination>(std::make_unique<tolv::PreviewDestination>(
          std::move(printer), options.pdf, preview_writer));
    }
    // A document the printer does not take is held with its form type (asked now: the job is
    // read before the printer is looked for).
    return std::unique_ptr<tolv::Destination>(std::make_unique<tolv::RecordedDestination>(
        std::move(printer), options.test_page != 0 ? options.test_page : trace->form_type, &record,
        &trace->job_text, reprint != nullptr ? reprint->held.path : std::string()));
  };
  const std::unique_ptr<tolv::Platform> platform = tolv::MakeDefaultPlatform(settings);
  // A run that prints (not a check or a preview) leaves one line in the journal; writing it never
  // changes the outcome.
  const bool journalled = !options.check && options.pdf.empty();
  const auto journal = [&](int status, const std::string& errors) {
    if (!journalled) return;
    std::string what = options.test_page != 0
                           ? "test page of form type " + std::to_string(options.test_page)
                           : "form type " + std::to_string(trace->form_type) + ", output mode " +
                                 std::to_string(trace->output_mode);
    if (reprint != nullptr) what = "reprint of " + reprint->held.name + ", laid out again, " + what;
    std::string line;
    if (record.handed_over) {
      line = tolv::JournalLine(record, what);
    } else if (status != 0) {
      line = errors.empty() ? "tolv: the run ended with status " + std::to_string(status) : errors;
      while (!line.empty() && line.back() == '\n') line.pop_back();
    } else {
      return;  // no job: nothing happened
    }
    const bool failure = !record.handed_over ? status != 0 : !record.result.ok;
    tolv::OpenJournal(tolv::ReadJournalFile(program_dir))->Write(failure, line);
    if (reprint != nullptr && !failure) reprint->printed << line << "\n";
  };
  if (options.test_page != 0) {
    const int status =
        tolv::MainTestPage(*platform, options.test_page, [&] { return test_page_label; });
    journal(status, "");
    return status;
  }
  std::ostringstream errors;
  const int status =
      tolv::Main(*platform, errors, trace.get(), reprint != nullptr ? &reprint->job : nullptr);
  std::cerr << errors.str() << std::flush;
  journal(status, errors.str());
  if (!options.check) return status;
  if (shifted_printer != nullptr && check_printer != nullptr) {
    if (const std::string off = shifted_printer->OffThePrintableArea(check_printer->marks());
        !off.empty()) {
      trace->Problem(off);
    }
  }
  bool problems = false;
  const std::string report = tolv::CheckReport(*trace, &problems);
  if (const int written = Report(report); written != 0) return written;
  return problems ? 1 : 0;
}

int Run(int argc, char** argv) {
  tolv::BoundStandardStreams();
  // UTF-8 from here on, whatever code page the machine hands main.
  const std::vector<std::string> args = tolv::CommandLineArguments(argc, argv);
  const tolv::Options options = tolv::ParseOptions(
      std::vector<std::string>(args.empty() ? args.end() : args.begin() + 1, args.end()));
  std::ostringstream answer;
  if (auto status =
          tolv::AnswerWithoutRunning(options, tolv::LibraryVersions(), answer, std::cerr)) {
    return *status == 0 ? Report(answer.str()) : *status;
  }
  std::string error;
  const std::optional<std::string> tolv_dir = tolv::EnvironmentValue("TOLV_DIR");
  const tolv::ProgramDirectory dir = tolv::ChooseProgramDirectory(
      options.program_dir, tolv_dir ? tolv_dir->c_str() : nullptr,
      tolv::FoundProgramDirectory(args.empty() ? nullptr : args[0].c_str()), &error);
  if (!error.empty()) {
    std::cerr << "tolv: " << error << "\n";
    return tolv::kUsageErrorStatus;
  }
  const std::string program_dir = dir.path;
  if (options.held) return Report(tolv::HeldListing(program_dir));
  if (!options.reprint.empty()) {
    std::ostringstream printed;
    const int status = tolv::ReprintHeld(
        program_dir, options.reprint,
        [&](const std::string& title) { return tolv::FindDefaultPrinter(program_dir, title); },
        printed, std::cerr,
        [&](bool failure, const std::string& line) {
          tolv::OpenJournal(tolv::ReadJournalFile(program_dir))->Write(failure, line);
        },
        [&](const tolv::HeldDocument& held, const std::string& job) {
          const HeldReprint reprint{held, job, printed};
          return RunJob(options, dir, nullptr, &reprint);
        });
    const int written = Report(printed.str());
    return status != 0 ? status : written;
  }
  // The operator's output is one this machine can write, and never replaces a device, a pipe or a
  // file tolv itself reads: refused before anything is read or written.
  tolv::WholeFileWriter preview_writer = nullptr;
  if (!options.pdf.empty()) {
    std::string why;
    int status = tolv::kUsageErrorStatus;
    preview_writer = tolv::PreviewWriter(options.emf, &why, &status);
    if (preview_writer == nullptr) {
      std::cerr << "tolv: " << why << "; nothing was read or written\n";
      return status;
    }
    std::vector<std::string> kept = {tolv::JobFilePath(program_dir), program_dir + "/tolv.conf"};
    // KORDELA.* is the form of an unknown form type.
    for (const char* type : {"1", "2", "3", "4", "5", "6", "7", ""}) {
      for (const char* kind : {"GFX", "DAT"}) {
        kept.push_back(program_dir + "/KORDEL" + type + "A." + kind);
      }
    }
    if (const std::string refused = tolv::RefusedOutput(options.pdf, kept); !refused.empty()) {
      std::cerr << "tolv: " << refused << "; nothing was read or written\n";
      return tolv::kUsageErrorStatus;
    }
  }

  return RunJob(options, dir, preview_writer, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  std::set_terminate(&EndOnTerminate);
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    // Memory ran out: one line and the failure status, not an abort with a library's message.
    std::cerr << "tolv: out of memory; nothing was printed\n" << std::flush;
    return 2;
  }
}
