#include "startup/reprint.h"

#include <cstdlib>
#include <ostream>
#include <vector>

#include "destination/file_printer.h"
#include "destination/held_documents.h"
#include "destination/journal.h"
#include "job/job_file.h"
#include "runtime/file_reader.h"
#include "runtime/quoted.h"

namespace tolv {
namespace {

// The folder is bounded to this much in all, so no single held document is larger.
constexpr size_t kHeldDocumentLimit = size_t{256} << 20;

std::string Said(const std::string& value) { return value.empty() ? "?" : value; }

// One document: 0 printed, 2 not (said on `errors` and in the journal).
// `no_printer`: set once no printer was found, so that the rest are not looked for again (a
// scheduler that never answers would hold each of them for its time).
int ReprintOne(const std::string& program_dir, const HeldDocument& held, const PrinterFinder& find,
               std::ostream& out, std::ostream& errors, const JournalWriter& journal,
               const HeldJobRun& run_job, bool* no_printer) {
  const auto fail = [&](const std::string& cause) {
    const std::string line = OneLine("tolv: the held document " + Quoted(held.path) +
                                     " was not printed: " + cause + "; it stays held");
    errors << line << "\n" << std::flush;
    journal(true, line);
    return 2;
  };
  // Printed: the held copy has done its work. One that cannot be removed would print twice.
  const auto printed = [&] {
    if (RemoveHeldDocument(held)) return 0;
    errors << "tolv: the held document " << Quoted(held.path)
           << " was printed but cannot be removed; remove it before the next reprint\n"
           << std::flush;
    return 2;
  };
  const FileRead read = ReadFileBeside(HeldDirectory(program_dir), held.name, kHeldDocumentLimit);
  if (read.status != FileRead::Status::kRead) {
    return fail("it cannot be read" + (read.cause.empty() ? "" : ": " + read.cause));
  }
  if (const std::string problem = HeldDocumentProblem(held, read.bytes); !problem.empty()) {
    return fail(problem);
  }
  if (*no_printer) return fail("no printer was found for the document before it");
  const std::string form = held.form.empty() ? "0" : held.form;
  std::unique_ptr<Destination> printer = find("tolv: form type " + form);
  // Handed to the file printer it would replace ZOBAX.PDF: no print, and an earlier one lost.
  if (printer == nullptr) return fail("this machine cannot hand a held document to its printer");
  if (printer->FilePrinter()) return fail("this machine has no printer to print it on");
  // A page laid out on other paper, or from another corner of the paper (held while no queue
  // could be measured), would come out moved or cut: its job is laid out again for this queue.
  const std::string& media = printer->Device().media;
  const std::string area = PrintableArea(printer->Device());
  std::string moved;
  if (!printer->Queue().empty() && !held.paper.empty() && held.paper != media) {
    moved = "it was laid out on " + held.paper + " and the queue " + printer->Queue() +
            " prints on " + media;
  } else if (!printer->Queue().empty() && !held.area.empty() && held.area != area) {
    moved = "it was laid out for a printable area of " + held.area + " and the queue " +
            printer->Queue() + " prints on " + area;
  }
  if (!moved.empty()) {
    if (!run_job || held.job_checksum.empty()) return fail(moved + "; run the job again");
    const FileRead job =
        ReadFileBeside(HeldDirectory(program_dir), HeldJobName(held.name), kJobFileLimit);
    if (job.status != FileRead::Status::kRead || Checksum(job.bytes) != held.job_checksum) {
      return fail(moved + ", and the job kept with it is damaged; run the job again");
    }
    printer.reset();  // the run finds its own
    if (run_job(held, job.bytes) != 0) return 2;
    return printed();
  }
  FinishedDocument document{read.bytes, HeldDocumentKind(held)};
  document.form_type = std::atoi(form.c_str());
  document.queue = held.queue;
  document.media = held.paper;
  document.area = held.area;
  document.held_as = held.path;
  HandOverRecord record;
  record.handed_over = true;
  record.queue = printer->Queue();
  record.device = printer->Device();
  record.result = printer->HandOver(document);
  if (!record.result.ok) {
    *no_printer = record.queue.empty();
    const std::string line = OneLine("tolv: " + record.result.message);
    errors << line << "\n" << std::flush;
    journal(true, line);
    return 2;
  }
  const std::string line =
      JournalLine(record, "reprint of " + held.name + " (form type " + form + ")");
  journal(false, line);
  out << line << "\n";
  return printed();
}

}  // namespace

std::string HeldListing(const std::string& program_dir) {
  const std::vector<HeldDocument> list = ListHeldDocuments(program_dir);
  if (list.empty()) return "no documents are held in " + HeldDirectory(program_dir) + "\n";
  std::string text;
  for (const HeldDocument& held : list) {
    text += held.name + "  " + Said(held.when) + "  form type " + Said(held.form) + "  queue " +
            Said(held.queue) + "  " + (held.why.empty() ? "(no note)" : held.why) + "\n";
  }
  return text;
}

int ReprintHeld(const std::string& program_dir, const std::string& which, const PrinterFinder& find,
                std::ostream& out, std::ostream& errors, const JournalWriter& journal,
                const HeldJobRun& run_job) {
  std::vector<HeldDocument> chosen;
  for (HeldDocument& held : ListHeldDocuments(program_dir)) {
    if (which == "all" || held.name == which) chosen.push_back(std::move(held));
  }
  if (chosen.empty()) {
    if (which == "all") {
      out << "no documents are held in " << HeldDirectory(program_dir) << "\n";
      return 0;
    }
    errors << "tolv: no document " << Quoted(which) << " is held in "
           << Quoted(HeldDirectory(program_dir)) << "\n"
           << std::flush;
    return 1;
  }
  int status = 0;
  bool no_printer = false;
  for (const HeldDocument& held : chosen) {
    if (ReprintOne(program_dir, held, find, out, errors, journal, run_job, &no_printer) != 0) {
      status = 2;
    }
  }
  return status;
}

}  // namespace tolv
