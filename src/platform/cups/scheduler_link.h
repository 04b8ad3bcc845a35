// One connection to the print scheduler with every wait bounded, and the raw look at whether a
// scheduler listens at all (libcups reports every failed connection as "host is down").
#ifndef TOLV_PLATFORM_CUPS_SCHEDULER_LINK_H_
#define TOLV_PLATFORM_CUPS_SCHEDULER_LINK_H_

#include <cups/cups.h>

#include <memory>
#include <string>

namespace tolv {

inline constexpr int kConnectTimeoutMs = 5000;
inline constexpr double kAnswerTimeoutSeconds = 5;

struct DestInfoFree {
  void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
using DestInfo = std::unique_ptr<cups_dinfo_t, DestInfoFree>;

struct DestFree {
  void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
using Dest = std::unique_ptr<cups_dest_t, DestFree>;

struct IppFree {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppFree>;

enum class Presence { kListening, kAbsent, kUnreachable };

// Is a scheduler listening at `server`? Absent when some address of it says so (refused, or no
// socket file); an address that cannot be used at all (no IPv6 loopback) does not count. `cause`
// says why it is not listening; `refusal` (when given) receives the errno of an absent one.
Presence ProbeScheduler(const std::string& server, int port, std::string* cause,
                        int* refusal = nullptr);

// Whether an IPP status is a success.
bool Succeeded(ipp_status_t status);

// One connection to the scheduler with every wait bounded. Remembers whether a wait ran out.
class SchedulerLink {
 public:
  SchedulerLink(std::string server, int port);
  ~SchedulerLink();
  SchedulerLink(const SchedulerLink&) = delete;
  SchedulerLink& operator=(const SchedulerLink&) = delete;

  bool Open();
  http_t* get() const { return http_; }
  bool gave_up() const { return gave_up_; }
  // True when the last request got a whole answer over HTTP (whatever the answer said in IPP).
  bool answered() const;
  // Why the last call on this link failed.
  std::string Cause() const;

 private:
  // Called when a wait for the scheduler ran out; 0 gives up instead of waiting again.
  static int GiveUp(http_t*, void* self);

  std::string server_;
  int port_;
  http_t* http_ = nullptr;
  int cancel_ = 0;
  bool gave_up_ = false;
  std::string open_failure_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CUPS_SCHEDULER_LINK_H_
