// tolv --held and tolv --reprint: the documents held after failed prints, listed from their notes
// and handed to the default printer again. A reprint is a run without rendering: the held document
// goes to the printer as it was made, with the same job options, deadline and checks.
#ifndef TOLV_STARTUP_REPRINT_H_
#define TOLV_STARTUP_REPRINT_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "destination/destination.h"
#include "destination/held_documents.h"

namespace tolv {

// The listing of held/: one line per document (name, when, form type, queue, why it failed).
std::string HeldListing(const std::string& program_dir);

// Finds the default printer for one document, whose job is named `job_title`.
using PrinterFinder = std::function<std::unique_ptr<Destination>(const std::string& job_title)>;
// Writes one journal line; `failure` when a document was not handed over.
using JournalWriter = std::function<void(bool failure, const std::string& line)>;
// Lays the held document's job out again and prints it as a run would, the failure keeping the
// document held where it is; returns the run's exit status (its lines said and journalled).
using HeldJobRun = std::function<int(const HeldDocument& held, const std::string& job)>;

// Hands the held document `which` (its name in held/, or "all") to the printer `find` finds, one
// job each: a document the printer took is removed with its note, every other one stays held. A
// document that is damaged or not one tolv held (no note naming it, a changed length or
// checksum, not a whole PDF or metafile document) is refused and kept. One laid out on other
// paper or for another printable area than the queue's would land moved: its job, when it was
// kept, is laid out again by `run_job`; otherwise it is refused and kept.
// `out` gets a line per document printed, `errors` one line per document not printed. Returns 0
// when every document asked for was printed, 1 when `which` names no held document, 2 otherwise.
int ReprintHeld(const std::string& program_dir, const std::string& which, const PrinterFinder& find,
                std::ostream& out, std::ostream& errors, const JournalWriter& journal,
                const HeldJobRun& run_job = nullptr);

}  // namespace tolv

#endif  // TOLV_STARTUP_REPRINT_H_
