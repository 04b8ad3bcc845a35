#include "platform/cups/spooler_call.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/posix/process_guard.h"

namespace tolv {
namespace {

// The most the child may allocate beyond what it inherits: an answer of the scheduler that
// claims more (a header or an attribute list without end) fails instead of growing.
constexpr unsigned long long kChildMemoryBytes = 256ULL << 20;

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void LimitChildMemory() {
  std::ifstream statm("/proc/self/statm");
  unsigned long long pages = 0;
  if (!(statm >> pages)) return;
  const unsigned long long limit =
      pages * static_cast<unsigned long long>(sysconf(_SC_PAGESIZE)) + kChildMemoryBytes;
  const rlimit bound{limit, limit};
  setrlimit(RLIMIT_AS, &bound);
}

[[noreturn]] void RunChild(int fd, const std::function<std::string(SpoolerChannel&)>& work) {
  // Ended by the program alone, and with it.
  IgnoreStopSignalsInChild();
  signal(SIGPIPE, SIG_IGN);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  LimitChildMemory();
  SpoolerChannel channel(fd);
  std::string reply;
  try {
    reply = work(channel);
  } catch (...) {
    _exit(3);
  }
  channel.Send('R', reply);
  _exit(0);
}

// Reads the child's messages ("<kind><8 hex digits of length><bytes>") as they come.
class MessageReader {
 public:
  // Takes what arrived; fills `result` with each whole message. True once the reply is there.
  bool Take(const char* data, size_t size, SpoolerCallResult* result) {
    buffer_.append(data, size);
    for (;;) {
      if (buffer_.size() < 9) return false;
      const size_t length = std::strtoul(buffer_.substr(1, 8).c_str(), nullptr, 16);
      if (buffer_.size() < 9 + length) return false;
      const char kind = buffer_[0];
      const std::string text = buffer_.substr(9, length);
      buffer_.erase(0, 9 + length);
      if (kind == 'S') result->step = text;
      if (kind == 'J') result->job_id = std::atoi(text.c_str());
      if (kind == 'R') {
        result->reply = text;
        return true;
      }
    }
  }

 private:
  std::string buffer_;
};

int MillisecondsUntil(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 60 * 60 * 1000));
}

}  // namespace

void SpoolerChannel::Send(char kind, const std::string& text) {
  char head[16];
  std::snprintf(head, sizeof(head), "%c%08zx", kind, text.size());
  if (!WriteAll(fd_, head, 9) || !WriteAll(fd_, text.data(), text.size())) _exit(4);
}

void SpoolerChannel::Step(const std::string& step) { Send('S', step); }

void SpoolerChannel::JobCreated(int job_id) { Send('J', std::to_string(job_id)); }

SpoolerCallResult CallSpooler(Clock::time_point deadline, Clock::duration cancel_reserve,
                              const std::function<std::string(SpoolerChannel&)>& work,
                              bool heed_stop_signal) {
  SpoolerCallResult result;
  const auto stopped = [&] { return heed_stop_signal && StopSignal() != 0; };
  if (stopped()) {
    result.end = SpoolerCallResult::End::kStopped;
    result.signal = StopSignal();
    return result;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return result;
  }
  if (child == 0) {
    close(fds[0]);
    RunChild(fds[1], work);
  }
  close(fds[1]);

  MessageReader reader;
  bool replied = false;
  bool ended = false;
  while (!replied && !ended) {
    const Clock::time_point end = result.job_id > 0 ? deadline - cancel_reserve : deadline;
    pollfd waits[2] = {{fds[0], POLLIN, 0}, {StopSignalDescriptor(), POLLIN, 0}};
    const bool watch_stop = heed_stop_signal && waits[1].fd >= 0;
    const int ready = poll(waits, watch_stop ? 2 : 1, MillisecondsUntil(end));
    if (ready < 0 && errno == EINTR) continue;
    if (stopped()) {
      result.end = SpoolerCallResult::End::kStopped;
      result.signal = StopSignal();
      break;
    }
    if (ready <= 0) {
      result.end = SpoolerCallResult::End::kDeadline;
      break;
    }
    char buffer[4096];
    const ssize_t n = read(fds[0], buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ended = true;
    } else {
      replied = reader.Take(buffer, static_cast<size_t>(n), &result);
    }
  }
  if (!replied) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // What the child wrote before it was stopped is read to its end (the child is gone, so this
  // never waits): a job it created and announced is then known, and cancelled, rather than left on
  // the scheduler because the stop came before its number was read.
  // A reply read now came after the stop or the deadline: the run ends as stopped all the same.
  for (bool late_reply = replied || ended; !late_reply;) {
    char buffer[4096];
    const ssize_t n = read(fds[0], buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    late_reply = reader.Take(buffer, static_cast<size_t>(n), &result);
  }
  close(fds[0]);
  if (replied) result.end = SpoolerCallResult::End::kFinished;
  return result;
}

}  // namespace tolv
