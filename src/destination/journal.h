// The journal: one line per run where the machine's administrators look (the system log, the
// event log) and, when tolv.conf names one, a plain file. The machine's backend writes it; the
// shared code says what the line is. Writing it never changes the run's outcome: a journal that
// cannot be written is passed over in silence.
#ifndef TOLV_DESTINATION_JOURNAL_H_
#define TOLV_DESTINATION_JOURNAL_H_

#include <string>

#include "destination/held_documents.h"

namespace tolv {

class Journal {
 public:
  virtual ~Journal() = default;
  // One line: `failure` a document not handed over (an error), else information.
  virtual void Write(bool failure, const std::string& line) = 0;
};

// A plain journal file grows to this size, then becomes <file>.1 (replacing an older one).
inline constexpr long long kJournalFileLimit = 1 << 20;

// The line of a run that handed a document over (or tried): on success the form type, output
// mode, queue (or the file printer), the scheduler's job number, paper and resolution; on failure
// the line of standard error.
std::string JournalLine(const HandOverRecord& record, const std::string& what);

}  // namespace tolv

#endif  // TOLV_DESTINATION_JOURNAL_H_
