// Held documents: a document the printer did not take is held in the folder held/ beside the
// program, under a name no later run reuses (<yyyymmdd>-<hhmmss>-form<N>-<pid>.<ext>), with a
// note beside it (<name>.txt) saying when, which form, which queue and why. A held document is
// never overwritten; the folder is bounded (the oldest go first) and `tolv --held` lists it,
// `tolv --reprint` hands its documents to the printer again.
#ifndef TOLV_DESTINATION_HELD_DOCUMENTS_H_
#define TOLV_DESTINATION_HELD_DOCUMENTS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "destination/destination.h"
#include "destination/file_printer.h"

namespace tolv {

inline constexpr char kHeldFolder[] = "held";

// How much the folder may hold: more, and the oldest documents go.
struct HeldLimits {
  size_t max_documents = 100;
  uintmax_t max_bytes = uintmax_t{256} << 20;
};

// What a document's note says.
struct HeldDocument {
  std::string name;  // the file name in held/
  std::string path;
  uintmax_t size = 0;
  // From the note; empty when it is missing or unreadable. The note names its document.
  std::string note_names;
  std::string when, form, queue, paper, area, why;
  // The document's length and checksum as it was held, for a reprint to tell a damaged one.
  std::string bytes, checksum;
  // The checksum of the job kept beside it (HeldJobPath); empty when none was kept.
  std::string job_checksum;
};

// The outcome of holding one document.
struct Held {
  std::string path;   // empty when it could not be held
  std::string error;  // why not, one line
  // Older documents removed to stay within the limits, oldest first.
  std::vector<std::string> removed;
};

std::string HeldDirectory(const std::string& program_dir);

// Holds `document` in held/ (created when missing) with the machine's atomic write, then removes
// the oldest documents beyond `limits` (never the one just held). The note records `cause`.
Held HoldDocument(WholeFileWriter write, const std::string& program_dir,
                  const FinishedDocument& document, const std::string& cause,
                  const HeldLimits& limits = {});

// The held documents, oldest first (their names begin with the date and time).
std::vector<HeldDocument> ListHeldDocuments(const std::string& program_dir);

// Why a held document is not one to reprint (no note, damaged, not a whole document of the kind
// its name's extension says: a PDF, or an EMF of one enhanced metafile per page); "" when it is.
std::string HeldDocumentProblem(const HeldDocument& held, std::string_view bytes);

// The kind of document a held one is, as its name's extension says: "EMF" or "PDF".
std::string_view HeldDocumentKind(const HeldDocument& held);

// The name of the job a held document was made from, kept beside it: <name>.qjt.
std::string HeldJobName(const std::string& document_name);
std::string HeldJobPath(const HeldDocument& held);

// Removes a held document, its note and its job; false when the document could not be removed.
bool RemoveHeldDocument(const HeldDocument& held);

// The checksum a note records (64-bit FNV-1a, in hex).
std::string Checksum(std::string_view bytes);

// Where a page is laid out from, in a note's words ("left 3.4 mm, top 6.4 mm, 203.2 x 284.5
// mm"): the page is placed from the printable area's corner, so a document laid out for one area
// lands moved on a printer with another.
std::string PrintableArea(const PrinterDevice& device);

// What a run hands over and how it went, for its journal line.
struct HandOverRecord {
  bool handed_over = false;  // HandOver or Keep was called
  HandOverResult result;
  std::string queue;
  PrinterDevice device;
};

// The printer as the run sees it: each document it hands over is labelled with the form type,
// queue and media (for a note, should it be held), and the outcome is recorded in `record`.
class RecordedDestination : public Destination {
 public:
  // `job`, when given, is the job's text, kept with a held copy; `held_as` names the held
  // document a reprint lays out again (a failure then keeps it where it is, holding no second).
  RecordedDestination(std::unique_ptr<Destination> inner, int form_type, HandOverRecord* record,
                      const std::string* job = nullptr, std::string held_as = {})
      : inner_(std::move(inner)),
        form_type_(form_type),
        record_(record),
        job_(job),
        held_as_(std::move(held_as)) {}

  const PrinterDevice& Device() const override { return inner_->Device(); }
  std::string Describe() const override { return inner_->Describe(); }
  std::string Queue() const override { return inner_->Queue(); }
  HandOverResult HandOver(const FinishedDocument& document) override;
  HandOverResult Keep(const FinishedDocument& document, const std::string& cause) override;

 private:
  FinishedDocument Labelled(const FinishedDocument& document, const std::string& queue,
                            const std::string& area) const;
  HandOverResult Recorded(HandOverResult result, const std::string& queue);

  std::unique_ptr<Destination> inner_;
  int form_type_;
  HandOverRecord* record_;
  const std::string* job_;
  std::string held_as_;
};

}  // namespace tolv

#endif  // TOLV_DESTINATION_HELD_DOCUMENTS_H_
