#include "platform/posix/process_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ext/stdio_filebuf.h>
#include <iostream>
#include <memory>

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
  const auto put = [](const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    [[maybe_unused]] const ssize_t ignored = write(own_standard_error, text, length);
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

// Descriptors 0, 1 and 2 that are not open are opened on /dev/null, in order, so that no file the
// program opens later takes their place.
void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null < 0) _exit(1);  // not even /dev/null: nothing sound can be done
    if (null != fd) {
      dup2(null, fd);
      close(null);
    }
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
  // std::cerr writes to the standard error the program was started with. The buffer lives as
  // long as the process: std::cerr is flushed after every static object is gone.
  std::cerr.rdbuf(new __gnu_cxx::stdio_filebuf<char>(own, std::ios::out));
}

// Set by the first thread that ends the run on a fault.
std::atomic<bool> run_ending{false};

}  // namespace

void ClaimTheRunsEnd() {
  if (run_ending.exchange(true)) {
    for (;;) pause();
  }
}

void GuardProcess() {
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
