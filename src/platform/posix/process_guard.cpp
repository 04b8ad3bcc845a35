#include "platform/posix/process_guard.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <memory>
#include <streambuf>

namespace tolv {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

std::atomic<int> stop_signal{0};
// Both ends of the self-pipe; the handler writes one byte into the second.
int stop_pipe[2] = {-1, -1};

// Signals that end a run which has gone wrong (a fault in the program or a library: fontconfig,
// for one, crashes when memory runs out while it reads its configuration).
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
// The standard error the program was started with (descriptor 2 goes to /dev/null).
int own_standard_error = 2;

// One line and status 2, as every failure ends, rather than a signal's death the caller may not
// read as a failure. Only calls that are safe in a signal handler. The handler stays in place:
// Pango's font threads can fault at the same moment when memory runs out, and a second thread's
// default action would kill the run before the first had written its line.
[[maybe_unused]] void OnCrashSignal(int signal_number) {
  ClaimTheRunsEnd();
  const char* name = signal_number == SIGSEGV  ? "SIGSEGV"
                     : signal_number == SIGBUS ? "SIGBUS"
                     : signal_number == SIGILL ? "SIGILL"
                     : signal_number == SIGFPE ? "SIGFPE"
                                               : "SIGABRT";
  // A reader that stopped reading gets no line rather than a run that never ends.
  const auto put = [](const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    pollfd ready{own_standard_error, POLLOUT, 0};
    if (poll(&ready, 1, 1000) == 1 && (ready.revents & POLLOUT) != 0) {
      [[maybe_unused]] const ssize_t ignored = write(own_standard_error, text, length);
    }
  };
  put("tolv: the run failed on ");
  put(name);
  put(" (a fault in the program or a library, or memory running out)\n");
  _exit(2);
}

void OnStopSignal(int signal_number) {
  const int saved = errno;
  int none = 0;
  stop_signal.compare_exchange_strong(none, signal_number);
  if (stop_pipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(stop_pipe[1], &byte, 1);
  }
  errno = saved;
}

// Standard output was closed when the program started (and is /dev/null since).
bool standard_output_closed = false;

// Descriptors 0, 1 and 2 that are not open are opened on /dev/null, in order, so that no file the
// program opens later takes their place.
void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 1) standard_output_closed = true;
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null < 0) _exit(1);  // not even /dev/null: nothing sound can be done
    if (null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

// std::cerr's buffer: what is put is written at each flush (std::cerr flushes after every
// output), within the time a standard stream may take.
class BoundedStreamBuf : public std::streambuf {
 public:
  explicit BoundedStreamBuf(int fd) : fd_(fd) {}

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) pending_.push_back(static_cast<char>(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<size_t>(count));
    return count;
  }
  int sync() override {
    // After one write ran out of time the reader is not reading: the rest is dropped at once.
    if (!gave_up_ && !pending_.empty() &&
        !WriteWithin(fd_, pending_, kStandardStreamMilliseconds)) {
      gave_up_ = true;
    }
    pending_.clear();
    return 0;
  }

 private:
  int fd_;
  std::string pending_;
  bool gave_up_ = false;
};

// std::cerr's buffers live as long as the process (std::cerr is flushed after every static
// object is gone), held where a leak checker sees them.
BoundedStreamBuf* kept_error_buffers[4] = {};

void UseBoundedStandardError(int fd) {
  std::cerr.flush();
  for (BoundedStreamBuf*& kept : kept_error_buffers) {
    if (kept != nullptr) continue;
    kept = new BoundedStreamBuf(fd);
    std::cerr.rdbuf(kept);
    return;
  }
}

void SilenceLibraries() {
  const int own = fcntl(2, F_DUPFD_CLOEXEC, 3);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (own < 0 || null < 0) {
    if (own >= 0) close(own);
    if (null >= 0) close(null);
    return;
  }
  dup2(null, 2);
  close(null);
  own_standard_error = own;
  // std::cerr writes to the standard error the program was started with.
  UseBoundedStandardError(own);
}

// Set by the first thread that ends the run on a fault.
std::atomic<bool> run_ending{false};

}  // namespace

void ClaimTheRunsEnd() {
  if (run_ending.exchange(true)) {
    for (;;) pause();
  }
}

bool StandardOutputWasClosed() { return standard_output_closed; }

bool WriteWithin(int fd, std::string_view bytes, int timeout_ms, std::string* cause) {
  // A reader that is gone makes the write fail with EPIPE, not end the run.
  static const bool no_sigpipe = [] { return signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
  (void)no_sigpipe;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const auto fail = [&](const std::string& why) {
    if (cause != nullptr) *cause = why;
    return false;
  };
  while (!bytes.empty()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return fail("nothing read it for " + std::to_string(timeout_ms / 1000) + " s");
    pollfd ready{fd, POLLOUT, 0};
    const int polled = poll(&ready, 1, static_cast<int>(left));
    if (polled < 0 && errno == EINTR) continue;
    if (polled < 0) return fail(std::strerror(errno));
    if (polled == 0) continue;  // the deadline is checked above
    if ((ready.revents & POLLNVAL) != 0) return fail(std::strerror(EBADF));
    // A pipe that polls writable has room for PIPE_BUF bytes: a write of no more never blocks.
    const ssize_t written = write(fd, bytes.data(), std::min<size_t>(bytes.size(), PIPE_BUF));
    if (written < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (written < 0) return fail(std::strerror(errno));
    if (written == 0) return fail("nothing was taken");
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void BoundStandardError() { UseBoundedStandardError(2); }

void GuardProcess() {
  static bool guarded = false;
  if (guarded) return;
  guarded = true;
  OpenStandardDescriptors();
  SilenceLibraries();
  signal(SIGXFSZ, SIG_IGN);
  if (stop_pipe[0] < 0 && pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    stop_pipe[0] = stop_pipe[1] = -1;
  }
  struct sigaction action {};
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal_number : kStopSignals) sigaction(signal_number, &action, nullptr);
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizers report these signals themselves
  // A stack of its own, so that a stack that overflowed still gets its line.
  static char crash_stack[64 * 1024];
  stack_t stack{};
  stack.ss_sp = crash_stack;
  stack.ss_size = sizeof(crash_stack);
  sigaltstack(&stack, nullptr);
  struct sigaction crash {};
  crash.sa_handler = &OnCrashSignal;
  sigemptyset(&crash.sa_mask);
  crash.sa_flags = SA_ONSTACK;
  for (int signal_number : kCrashSignals) sigaction(signal_number, &crash, nullptr);
#endif
}

int StopSignal() { return stop_signal.load(); }

int StopSignalDescriptor() { return stop_pipe[0]; }

std::string SignalName(int signal_number) {
  switch (signal_number) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal_number);
  }
}

void IgnoreStopSignalsInChild() {
  for (int signal_number : kStopSignals) signal(signal_number, SIG_IGN);
  // A child that crashes dies of its signal, which the parent reports in its one line.
  for (int signal_number : kCrashSignals) signal(signal_number, SIG_DFL);
}

}  // namespace tolv
