// What the program does about its process before anything else: standard input, output and error
// that a careless caller left closed are opened on /dev/null (otherwise the first file opened would
// become standard error, and a message would land in the document); a file size limit makes a
// write fail instead of killing the program (SIGXFSZ ignored); SIGTERM, SIGINT and SIGHUP ask the
// run to stop, which the spooler calls honour like their deadline. Libraries (fontconfig, Pango,
// GLib) write their complaints straight to descriptor 2: it is pointed at /dev/null, and std::cerr,
// which carries the program's own one line, at the standard error it was started with. A run that
// crashes (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) writes one line and exits with status 2.
#ifndef TOLV_PLATFORM_POSIX_PROCESS_GUARD_H_
#define TOLV_PLATFORM_POSIX_PROCESS_GUARD_H_

#include <string>
#include <string_view>

namespace tolv {

// Call first thing in main, before any file is opened. Once per process: a later call (a reprint
// that lays out several held jobs) changes nothing, so the standard error the program was started
// with stays the one its lines go to.
void GuardProcess();

// How long one write to standard output or standard error may wait for a reader that stopped
// reading: a full pipe loses the text, not the run.
inline constexpr int kStandardStreamMilliseconds = 5000;

// Writes all of `bytes` to `fd`, waiting at most `timeout_ms` in all for it to take them (a write
// never blocks longer: a pipe is written in pieces it has room for). False, with `cause` set when
// given, when not all was written: the time ran out, the reader is gone (no SIGPIPE ends the
// run), or a write failed (a full device, a closed descriptor).
bool WriteWithin(int fd, std::string_view bytes, int timeout_ms, std::string* cause = nullptr);

// Whether standard output was closed when GuardProcess found it (it is on /dev/null since): a
// report written there reaches nobody.
bool StandardOutputWasClosed();

// std::cerr, which carries the run's one line, written with WriteWithin to descriptor 2; once a
// write ran out of time, later ones are dropped at once. Call first in main; GuardProcess keeps
// the bound when it moves std::cerr to a copy of the descriptor.
void BoundStandardError();

// The signal that asked the run to stop, or 0.
int StopSignal();
// A descriptor that becomes readable once a stop was asked for (for poll); -1 before
// GuardProcess.
int StopSignalDescriptor();
// "SIGTERM", "SIGINT", "SIGHUP".
std::string SignalName(int signal_number);

// A thread about to write the run's last line and end it on a fault (a crash signal, a fatal
// library message) calls this first: the first caller goes on, any later one waits for the end, so
// that threads failing together write one line, not several.
void ClaimTheRunsEnd();

// In a child process forked to talk to the spooler: the stop signals are the parent's business,
// the child only ends when the parent ends it; a crash kills the child, for the parent to report.
void IgnoreStopSignalsInChild();

}  // namespace tolv

#endif  // TOLV_PLATFORM_POSIX_PROCESS_GUARD_H_
