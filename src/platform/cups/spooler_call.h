// Talking to the spooler under one deadline. libcups waits in many places the program cannot
// reach: name look-ups, retries of "busy" answers with sleeps, answers that trickle in a byte at
// a time, headers without end. So every exchange with the scheduler runs in a child process that
// reports its steps to the program; at the deadline, or when the run is asked to stop (SIGTERM,
// SIGINT, SIGHUP), the child is killed and the program goes on with what it knows.
#ifndef TOLV_PLATFORM_CUPS_SPOOLER_CALL_H_
#define TOLV_PLATFORM_CUPS_SPOOLER_CALL_H_

#include <chrono>
#include <functional>
#include <string>

namespace tolv {

using Clock = std::chrono::steady_clock;

// What the child tells the program while it works.
class SpoolerChannel {
 public:
  explicit SpoolerChannel(int fd) : fd_(fd) {}
  // The step it begins now, in words that finish "... did not end in time" ("sending the
  // document to the print server X").
  void Step(const std::string& step);
  // A job it created: cancelled by the program if the child does not finish.
  void JobCreated(int job_id);

  // One message: a kind ('S' step, 'J' job, 'R' reply) and its text.
  void Send(char kind, const std::string& text);

 private:
  int fd_;
};

struct SpoolerCallResult {
  enum class End {
    kFinished,  // `reply` holds what the work returned
    kDeadline,  // killed at the deadline while in `step`
    kStopped,   // killed because a stop signal came (`signal`)
    kLost,      // the child died without an answer (out of memory, a crash in the library)
  };
  End end = End::kLost;
  std::string reply;
  std::string step;
  int job_id = 0;
  int signal = 0;
};

// Runs `work` in a child process and waits for its reply until `deadline`. Once the child has
// created a job, it is given only until `deadline` less `cancel_reserve`, so that the job can be
// cancelled before the deadline. The child's memory beyond what it inherits is bounded. A call
// made because of a stop signal (cancelling a job) passes `heed_stop_signal` false.
SpoolerCallResult CallSpooler(Clock::time_point deadline, Clock::duration cancel_reserve,
                              const std::function<std::string(SpoolerChannel&)>& work,
                              bool heed_stop_signal = true);

}  // namespace tolv

#endif  // TOLV_PLATFORM_CUPS_SPOOLER_CALL_H_
