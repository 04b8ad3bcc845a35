#include "platform/posix/system_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>

namespace tolv {

void SystemJournal::Write(bool failure, const std::string& line) {
  // LOG_NDELAY is not asked: syslog connects at the first message and drops it when no daemon
  // listens, never waiting for one.
  openlog("tolv", LOG_PID, LOG_LPR);
  syslog(failure ? LOG_ERR : LOG_INFO, "%s", line.c_str());
  closelog();
  if (!file_.empty()) AppendJournalLine(file_, line, kJournalFileLimit);
}

bool AppendJournalLine(const std::string& path, const std::string& line, long long limit) {
  const int flags = O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
  int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  if (st.st_size >= limit) {
    // Two runs may both rotate: the second renames the first's fresh file, losing at most the
    // line written between, never the run's outcome.
    close(fd);
    std::rename(path.c_str(), (path + ".1").c_str());
    fd = open(path.c_str(), flags, 0644);
    if (fd < 0) return false;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return false;
    }
  }
  const std::string text = line + "\n";
  const ssize_t written = write(fd, text.data(), text.size());
  close(fd);
  return written == static_cast<ssize_t>(text.size());
}

}  // namespace tolv
