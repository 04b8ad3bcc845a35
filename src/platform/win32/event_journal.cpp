// The journal on Windows: the Application event log, source "tolv". An unregistered source still
// writes (the viewer then says it has no description for the event, and shows the line).
#include "platform/win32/event_journal.h"

#include <windows.h>

#include <string>

#include "destination/journal.h"
#include "platform/win32/system/program_dir.h"

namespace tolv {

void EventJournal::Write(bool failure, const std::string& line) {
  HANDLE source = RegisterEventSourceW(nullptr, L"tolv");
  if (source == nullptr) return;
  const std::wstring text = Utf8ToWide(line);
  const wchar_t* strings[] = {text.c_str()};
  ReportEventW(source, failure ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0,
               failure ? 2 : 1, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

}  // namespace tolv
