// The journal on a POSIX machine: syslog(3) with the printing facility (LOG_LPR) under the name
// "tolv" (journald takes it from there), and optionally a plain file appended without blocking.
#ifndef TOLV_PLATFORM_POSIX_SYSTEM_JOURNAL_H_
#define TOLV_PLATFORM_POSIX_SYSTEM_JOURNAL_H_

#include <string>

#include "destination/journal.h"

namespace tolv {

class SystemJournal : public Journal {
 public:
  // `file`: a plain journal file as well; empty for none.
  explicit SystemJournal(std::string file) : file_(std::move(file)) {}
  void Write(bool failure, const std::string& line) override;

 private:
  std::string file_;
};

// Appends `line` and a line break to `path` as one write: opened without blocking (a FIFO with no
// reader, a file locked by a mandatory lock) and without following a symbolic link, only when it
// is a regular file; at `limit` bytes it is first renamed to <path>.1. False when nothing was
// written.
bool AppendJournalLine(const std::string& path, const std::string& line, long long limit);

}  // namespace tolv

#endif  // TOLV_PLATFORM_POSIX_SYSTEM_JOURNAL_H_
