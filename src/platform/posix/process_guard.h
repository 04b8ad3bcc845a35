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

namespace tolv {

// Call first thing in main, before any file is opened.
void GuardProcess();

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
