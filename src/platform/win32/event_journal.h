#ifndef TOLV_PLATFORM_WIN32_EVENT_JOURNAL_H_
#define TOLV_PLATFORM_WIN32_EVENT_JOURNAL_H_

#include <string>

#include "destination/journal.h"

namespace tolv {

// The Application event log, source "tolv". A plain journal file is not written on Windows yet.
class EventJournal : public Journal {
 public:
  void Write(bool failure, const std::string& line) override;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_EVENT_JOURNAL_H_
