#include "platform/cups/cups_destination.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/file_printer.h"

namespace tolv {
namespace {

constexpr double kDefaultDpi = 600;
constexpr double kHundredthsMmPerInch = 2540;
constexpr double kPointsPerInch = 72;

// libcups writes to the scheduler with plain send(): a scheduler that closes the connection while
// the document goes out would end the program with SIGPIPE. It would also ask for a password on
// the terminal of a program that nobody watches. While this guard lives, the calling thread turns
// SIGPIPE into EPIPE and authentication requests fail instead.
class SpoolerCallGuard {
 public:
  SpoolerCallGuard() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old_mask_);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    cupsSetPasswordCB2(&NoPassword, nullptr);
  }
  ~SpoolerCallGuard() {
    if (!was_pending_) {
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      const timespec no_wait{};
      while (sigtimedwait(&pipe, nullptr, &no_wait) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  }
  SpoolerCallGuard(const SpoolerCallGuard&) = delete;
  SpoolerCallGuard& operator=(const SpoolerCallGuard&) = delete;

 private:
  static const char* NoPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
  }

  sigset_t old_mask_{};
  bool was_pending_ = false;
};

struct DestInfoFree {
  void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
using DestInfo = std::unique_ptr<cups_dinfo_t, DestInfoFree>;

struct DestFree {
  void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
using Dest = std::unique_ptr<cups_dest_t, DestFree>;

enum class Presence { kListening, kAbsent, kUnreachable };

// Connects once to `address` without libcups, which reports every failed connection as "host is
// down" and so cannot tell a missing scheduler from an unreachable one. Returns 0 or the errno.
int TryConnect(const http_addr_t& address, int timeout_ms) {
  const int fd =
      socket(httpAddrFamily(const_cast<http_addr_t*>(&address)), SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  int error = 0;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address),
              static_cast<socklen_t>(httpAddrLength(&address))) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      pollfd wait{fd, POLLOUT, 0};
      const int ready = poll(&wait, 1, timeout_ms);
      socklen_t size = sizeof(error);
      if (ready == 0) {
        error = ETIMEDOUT;
      } else if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        error = errno;
      }
    }
  }
  close(fd);
  return error;
}

// Is a scheduler listening at `server`? Absent when some address of it says so (refused, or no
// socket file); an address that cannot be used at all (no IPv6 loopback) does not count.
Presence ProbeScheduler(const std::string& server, int port, std::string* cause) {
  const std::string service = std::to_string(port);
  http_addrlist_t* addresses = httpAddrGetList(server.c_str(), AF_UNSPEC, service.c_str());
  if (addresses == nullptr) {
    *cause = "the print server " + server + " could not be found (" + cupsLastErrorString() + ")";
    return Presence::kUnreachable;
  }
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  bool absent = false;
  int absent_error = 0;
  int first_error = 0;
  Presence presence = Presence::kUnreachable;
  for (http_addrlist_t* a = addresses; a != nullptr; a = a->next) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int error = TryConnect(a->addr, static_cast<int>(std::max<long long>(left.count(), 0)));
    if (error == 0) {
      presence = Presence::kListening;
      break;
    }
    if (error == ECONNREFUSED || error == ENOENT) {
      absent = true;
      absent_error = error;
    } else if (first_error == 0 && error != EADDRNOTAVAIL && error != EAFNOSUPPORT) {
      first_error = error;
    }
  }
  httpAddrFreeList(addresses);
  if (presence == Presence::kListening) return presence;
  if (absent) {
    *cause = "no print server is running at " + server + " (" + std::strerror(absent_error) + ")";
    return Presence::kAbsent;
  }
  *cause = "the print server " + server + " could not be reached (" +
           std::strerror(first_error != 0 ? first_error : EHOSTUNREACH) + ")";
  return Presence::kUnreachable;
}

// One connection to the scheduler with every wait bounded. Remembers whether a wait ran out:
// libcups reports some failed requests with the same status as a missing default queue.
class SchedulerLink {
 public:
  SchedulerLink(std::string server, int port) : server_(std::move(server)), port_(port) {}
  ~SchedulerLink() {
    if (http_ != nullptr) httpClose(http_);
  }
  SchedulerLink(const SchedulerLink&) = delete;
  SchedulerLink& operator=(const SchedulerLink&) = delete;

  bool Open() {
    http_ = httpConnect2(server_.c_str(), port_, nullptr, AF_UNSPEC, cupsEncryption(),
                         /*blocking=*/1, kConnectTimeoutMs, &cancel_);
    if (http_ == nullptr) {
      // libcups calls every failed connection "host is down"; find the real reason.
      if (ProbeScheduler(server_, port_, &open_failure_) == Presence::kListening) {
        open_failure_ =
            "the print server " + server_ + " could not be reached (" + cupsLastErrorString() + ")";
      }
      return false;
    }
    httpSetTimeout(http_, kAnswerTimeoutSeconds, &GiveUp, this);
    return true;
  }

  http_t* get() const { return http_; }
  bool gave_up() const { return gave_up_; }
  // True when the last request got a whole answer from a scheduler (whatever the answer said).
  bool answered() const {
    return http_ != nullptr && !gave_up_ && httpError(http_) == 0 &&
           httpGetStatus(http_) == HTTP_STATUS_OK;
  }

  // Why the last call on this link failed.
  std::string Cause() const {
    const std::string who = "the print server " + server_;
    if (http_ == nullptr) return open_failure_;
    if (gave_up_) {
      char seconds[32];
      std::snprintf(seconds, sizeof(seconds), "%g", kAnswerTimeoutSeconds);
      return who + " did not answer within " + seconds + " seconds";
    }
    if (httpError(http_) != 0) {
      return "the connection to " + who + " broke (" + std::strerror(httpError(http_)) + ")";
    }
    const http_status_t status = httpGetStatus(http_);
    if (status > HTTP_STATUS_OK) {
      return who + " answered HTTP " + std::to_string(status) + " " + httpStatus(status);
    }
    const char* message = cupsLastErrorString();
    if (message != nullptr && *message != '\0') return message;
    return who + " failed without saying why";
  }

 private:
  // Called when a wait for the scheduler ran out; 0 gives up instead of waiting again.
  static int GiveUp(http_t*, void* self) {
    static_cast<SchedulerLink*>(self)->gave_up_ = true;
    return 0;
  }

  std::string server_;
  int port_;
  http_t* http_ = nullptr;
  int cancel_ = 0;
  bool gave_up_ = false;
  std::string open_failure_;
};

// The queue's default resolution; 600 dpi when it names none.
void ReadResolution(ipp_attribute_t* resolution, double* dpi_x, double* dpi_y) {
  *dpi_x = kDefaultDpi;
  *dpi_y = kDefaultDpi;
  if (resolution == nullptr || ippGetValueTag(resolution) != IPP_TAG_RESOLUTION) return;
  int y = 0;
  ipp_res_t units = IPP_RES_PER_INCH;
  const int x = ippGetResolution(resolution, 0, &y, &units);
  if (x <= 0 || y <= 0) return;
  const double per_inch = units == IPP_RES_PER_CM ? 2.54 : 1;
  *dpi_x = x * per_inch;
  *dpi_y = y * per_inch;
}

// Measures the queue once: its default media with margins, and its resolution.
std::optional<PrinterDevice> Measure(SchedulerLink& link, cups_dest_t* dest, std::string* cause) {
  DestInfo info(cupsCopyDestInfo(link.get(), dest));
  if (info == nullptr) {
    *cause = link.Cause();
    return std::nullopt;
  }
  cups_size_t media{};
  if (!cupsGetDestMediaDefault(link.get(), dest, info.get(), 0, &media)) {
    *cause = "it names no default media";
    return std::nullopt;
  }
  double dpi_x = kDefaultDpi;
  double dpi_y = kDefaultDpi;
  ReadResolution(cupsFindDestDefault(link.get(), dest, info.get(), "printer-resolution"), &dpi_x,
                 &dpi_y);
  std::optional<PrinterDevice> device = DeviceForMedia(media, dpi_x, dpi_y);
  if (!device) *cause = std::string("its default media ") + media.media + " has no printable area";
  return device;
}

std::string QueueName(const cups_dest_t* dest) {
  std::string name = dest->name;
  if (dest->instance != nullptr) name += std::string("/") + dest->instance;
  return name;
}

// Why a queue would not print a job now, from its freshly read state; "" when it would.
std::string QueueRefusal(const cups_dest_t* dest) {
  const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
  const char* accepting =
      cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
  const char* reasons = cupsGetOption("printer-state-reasons", dest->num_options, dest->options);
  const std::string why = reasons != nullptr && std::strcmp(reasons, "none") != 0
                              ? std::string(" (") + reasons + ")"
                              : "";
  if (accepting != nullptr && std::strcmp(accepting, "false") == 0) {
    return "the queue " + QueueName(dest) + " does not accept jobs" + why;
  }
  if (state != nullptr && std::atoi(state) == IPP_PSTATE_STOPPED) {
    return "the queue " + QueueName(dest) + " is stopped" + why;
  }
  return "";
}

// A saved option of the queue that would move, scale, turn or leave out part of the page, or
// that tolv sets itself: the form must land where the layout put it.
bool MovesThePage(std::string_view name) {
  for (const char* moving : {"fit-to-page",
                             "scaling",
                             "print-scaling",
                             "natural-scaling",
                             "ppi",
                             "number-up",
                             "number-up-layout",
                             "orientation-requested",
                             "landscape",
                             "page-ranges",
                             "position",
                             "page-left",
                             "page-right",
                             "page-top",
                             "page-bottom",
                             "mirror",
                             "media",
                             "PageSize",
                             "sides",
                             "Duplex"}) {
    if (name == moving) return true;
  }
  return name.starts_with("printer-");  // the queue's own state, not a setting
}

struct JobOptions {
  // The page's media without scaling, one-sided (a second page on the back of a pre-printed
  // sheet is lost stationery), and the queue's saved settings (lpoptions: tray, quality) that do
  // not move the page.
  JobOptions(const std::string& media, const cups_dest_t* saved) {
    count = cupsAddOption("print-scaling", "none", count, &options);
    if (!media.empty()) count = cupsAddOption("media", media.c_str(), count, &options);
    count = cupsAddOption("sides", "one-sided", count, &options);
    for (int i = 0; i < saved->num_options; ++i) {
      const cups_option_t& o = saved->options[i];
      if (!MovesThePage(o.name)) count = cupsAddOption(o.name, o.value, count, &options);
    }
  }
  ~JobOptions() { cupsFreeOptions(count, options); }
  JobOptions(const JobOptions&) = delete;
  JobOptions& operator=(const JobOptions&) = delete;

  int count = 0;
  cups_option_t* options = nullptr;
};

bool Succeeded(ipp_status_t status) {
  return status >= IPP_STATUS_OK && status < IPP_STATUS_REDIRECTION_OTHER_SITE;
}

}  // namespace

std::optional<PrinterDevice> DeviceForMedia(const cups_size_t& media, double dpi_x, double dpi_y) {
  if (media.width <= 0 || media.length <= 0 || media.left < 0 || media.right < 0 || media.top < 0 ||
      media.bottom < 0 || media.left + media.right >= media.width ||
      media.top + media.bottom >= media.length || !(dpi_x > 0) || !(dpi_y > 0)) {
    return std::nullopt;
  }
  const auto pixels = [](int hundredths_mm, double dpi) {
    return std::round(hundredths_mm / kHundredthsMmPerInch * dpi);
  };
  PrinterDevice device;
  device.dpi_x = dpi_x;
  device.dpi_y = dpi_y;
  device.page_width_pt = media.width / kHundredthsMmPerInch * kPointsPerInch;
  device.page_height_pt = media.length / kHundredthsMmPerInch * kPointsPerInch;
  device.printable_left_px = pixels(media.left, dpi_x);
  device.printable_top_px = pixels(media.top, dpi_y);
  device.printable_width_px = pixels(media.width - media.left - media.right, dpi_x);
  device.printable_height_px = pixels(media.length - media.top - media.bottom, dpi_y);
  device.media = media.media;
  return device;
}

std::unique_ptr<Destination> OpenDefaultDestination(const std::string& program_dir,
                                                    WholeFileWriter write,
                                                    const std::string& job_title) {
  SpoolerCallGuard guard;
  // Read the scheduler's name afresh (CUPS_SERVER, client.conf, the local socket).
  cupsSetServer(nullptr);
  const std::string server = cupsServer();
  const int port = ippPort();
  const auto failed = [&](const std::string& cause) -> std::unique_ptr<Destination> {
    return std::make_unique<FailedPrinterDestination>(program_dir, cause, write);
  };

  std::string cause;
  switch (ProbeScheduler(server, port, &cause)) {
    case Presence::kAbsent:
      return std::make_unique<FileDestination>(program_dir, write);
    case Presence::kUnreachable:
      return failed(cause);
    case Presence::kListening:
      break;
  }
  SchedulerLink link(server, port);
  if (!link.Open()) return failed(link.Cause());
  Dest dest(cupsGetNamedDest(link.get(), nullptr, nullptr));
  if (dest == nullptr) {
    // libcups says "not found" alike for a missing default and for a request that failed.
    if (!link.answered()) return failed(link.Cause());
    return std::make_unique<FileDestination>(program_dir, write);
  }
  std::optional<PrinterDevice> device = Measure(link, dest.get(), &cause);
  if (!device) {
    return failed("the default printer " + QueueName(dest.get()) +
                  " could not be measured: " + cause);
  }
  auto queue =
      std::make_unique<CupsDestination>(program_dir, server, port, dest.release(), *device, write);
  queue->set_job_title(job_title);
  return queue;
}

CupsDestination::CupsDestination(std::string program_dir, std::string server, int port,
                                 cups_dest_t* dest, PrinterDevice device, WholeFileWriter write)
    : program_dir_(std::move(program_dir)),
      server_(std::move(server)),
      port_(port),
      dest_(dest),
      queue_(QueueName(dest)),
      device_(std::move(device)),
      write_(write) {}

CupsDestination::~CupsDestination() { cupsFreeDests(1, dest_); }

HandOverResult CupsDestination::HandOver(const FinishedDocument& document) {
  SpoolerCallGuard guard;
  const std::string cause = SendJob(document.bytes);
  if (cause.empty()) return {};
  return KeepAfterFailure(write_, program_dir_, document,
                          "printing on " + queue_ + " failed: " + cause);
}

// Create the job, send its one document, finish it; cancel a job that was created when a later
// call fails, so that no half document prints. Every call goes over the one connection, opened to
// the scheduler the queue was found on: cupsConnectDest would dial the host of the queue's URI
// (localhost:631), which a scheduler listening only on its socket does not serve.
std::string CupsDestination::SendJob(std::string_view pdf) {
  SchedulerLink link(server_, port_);
  if (!link.Open()) return link.Cause();
  Dest fresh(cupsGetNamedDest(link.get(), dest_->name, dest_->instance));
  if (fresh == nullptr) return link.answered() ? "the queue no longer exists" : link.Cause();
  const std::string refusal = QueueRefusal(fresh.get());
  if (!refusal.empty()) return refusal;
  DestInfo info(cupsCopyDestInfo(link.get(), fresh.get()));
  if (info == nullptr) return link.Cause();

  const JobOptions options(device_.media, fresh.get());
  const char* title = job_title_.c_str();
  int job_id = 0;
  if (!Succeeded(cupsCreateDestJob(link.get(), fresh.get(), info.get(), &job_id, title,
                                   options.count, options.options))) {
    return link.Cause();
  }
  if (job_id <= 0) return "the print server created the job without a number";
  if (cupsStartDestDocument(link.get(), fresh.get(), info.get(), job_id, title, CUPS_FORMAT_PDF, 0,
                            nullptr, /*last_document=*/1) != HTTP_STATUS_CONTINUE ||
      cupsWriteRequestData(link.get(), pdf.data(), pdf.size()) != HTTP_STATUS_CONTINUE ||
      !Succeeded(cupsFinishDestDocument(link.get(), fresh.get(), info.get()))) {
    const std::string cause = link.Cause();
    // A scheduler that stopped answering will not answer the cancel either.
    if (!link.gave_up()) cupsCancelDestJob(link.get(), fresh.get(), job_id);
    return cause;
  }
  return "";
}

}  // namespace tolv
