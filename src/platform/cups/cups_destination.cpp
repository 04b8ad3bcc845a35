#include "platform/cups/cups_destination.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/posix/process_guard.h"
#include "runtime/units.h"

namespace tolv {
namespace {

constexpr double kDefaultDpi = 600;
constexpr double kHundredthsMmPerInch = 2540;

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

bool StartsWithWord(const std::string& line, const char* word, std::string* rest) {
  const size_t length = std::strlen(word);
  if (line.size() <= length || strncasecmp(line.c_str(), word, length) != 0 ||
      !std::isspace(static_cast<unsigned char>(line[length]))) {
    return false;
  }
  const size_t start = line.find_first_not_of(" \t", length);
  if (start == std::string::npos) return false;
  *rest = line.substr(start);
  return true;
}

// The value of the first "<directive> value" line of a configuration file ("" when none), as
// libcups reads client.conf and lpoptions.
std::string DirectiveIn(const std::string& path, const char* directive) {
  std::ifstream file(path);
  std::string line;
  std::string value;
  while (std::getline(file, line)) {
    if (StartsWithWord(line, directive, &value)) {
      const size_t end = value.find_first_of(" \t\r");
      return value.substr(0, end);
    }
  }
  return "";
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

std::string HomeFile(const char* name) {
  const std::string home = Environment("HOME");
  return home.empty() ? "" : home + "/.cups/" + name;
}

std::string ServerRootFile(const char* name) {
  const std::string root = Environment("CUPS_SERVERROOT");
  return (root.empty() ? std::string("/etc/cups") : root) + "/" + name;
}

// What the user chose, in the places libcups reads them, in its order. A choice that fails is a
// failure; only the defaults of the machine may mean "no printer".
struct UserChoice {
  std::string server_from;  // where a server was named ("" when none was)
  std::string name;         // the default queue named by the user ("" when none)
  std::string instance;
  std::string name_from;
};

UserChoice ReadUserChoice() {
  UserChoice choice;
  if (!Environment("CUPS_SERVER").empty()) {
    choice.server_from = "CUPS_SERVER";
  } else if (!HomeFile("client.conf").empty() &&
             !DirectiveIn(HomeFile("client.conf"), "ServerName").empty()) {
    choice.server_from = HomeFile("client.conf");
  } else if (!DirectiveIn(ServerRootFile("client.conf"), "ServerName").empty()) {
    choice.server_from = ServerRootFile("client.conf");
  }

  std::string named;
  if (!Environment("LPDEST").empty()) {
    named = Environment("LPDEST");
    choice.name_from = "LPDEST";
  } else if (!Environment("PRINTER").empty() && Environment("PRINTER") != "lp") {
    // libcups takes PRINTER=lp for the old System V default, not a queue's name.
    named = Environment("PRINTER");
    choice.name_from = "PRINTER";
  } else {
    for (const std::string& file : {HomeFile("lpoptions"), ServerRootFile("lpoptions")}) {
      if (file.empty()) continue;
      named = DirectiveIn(file, "Default");
      if (!named.empty()) {
        choice.name_from = file;
        break;
      }
    }
  }
  const size_t slash = named.find('/');
  choice.name = named.substr(0, slash);
  if (slash != std::string::npos) choice.instance = named.substr(slash + 1);
  return choice;
}

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
Presence ProbeScheduler(const std::string& server, int port, std::string* cause,
                        int* refusal = nullptr) {
  const std::string service = std::to_string(port);
  http_addrlist_t* addresses = httpAddrGetList(server.c_str(), AF_UNSPEC, service.c_str());
  if (addresses == nullptr) {
    *cause = "the print server " + server + " could not be found (" + cupsLastErrorString() + ")";
    return Presence::kUnreachable;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  bool absent = false;
  int absent_error = 0;
  int first_error = 0;
  Presence presence = Presence::kUnreachable;
  for (http_addrlist_t* a = addresses; a != nullptr; a = a->next) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
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
    if (refusal != nullptr) *refusal = absent_error;
    *cause = "no print server is running at " + server + " (" + std::strerror(absent_error) + ")";
    return Presence::kAbsent;
  }
  *cause = "the print server " + server + " could not be reached (" +
           std::strerror(first_error != 0 ? first_error : EHOSTUNREACH) + ")";
  return Presence::kUnreachable;
}

const char* NoPassword(const char*, http_t*, const char*, const char*, void*) { return nullptr; }

// One connection to the scheduler with every wait bounded. Remembers whether a wait ran out.
class SchedulerLink {
 public:
  SchedulerLink(std::string server, int port) : server_(std::move(server)), port_(port) {
    // Nobody watches the program: a request for a password is refused, not asked on a terminal.
    cupsSetPasswordCB2(&NoPassword, nullptr);
  }
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
  // True when the last request got a whole answer over HTTP (whatever the answer said in IPP).
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
    // libcups turns a 401 whose password it could not get into a code of its own (1000).
    if (status == HTTP_STATUS_UNAUTHORIZED || status == HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED ||
        cupsLastError() == IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED) {
      return who + " answered HTTP 401: authorization required";
    }
    if (status > HTTP_STATUS_OK && status < HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED) {
      return who + " answered HTTP " + std::to_string(status) + " " + httpStatus(status);
    }
    const ipp_status_t ipp = cupsLastError();
    if (ipp > IPP_STATUS_OK_EVENTS_COMPLETE) {
      std::string answer = who + " answered " + ippErrorString(ipp);
      const char* message = cupsLastErrorString();
      if (message != nullptr && *message != '\0' &&
          std::strcmp(message, ippErrorString(ipp)) != 0) {
        answer += std::string(" (") + message + ")";
      }
      return OneLine(answer);
    }
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
  if (!device) {
    *cause = std::string("its default media ") + media.media + " has no printable area";
  } else if (const std::string wrong = ImplausibleDevice(*device); !wrong.empty()) {
    *cause = wrong;
    device.reset();
  }
  return device;
}

std::string QueueName(const std::string& name, const std::string& instance) {
  return instance.empty() ? name : name + "/" + instance;
}

// Why a queue would not print a job now, from its freshly read state; "" when it would.
std::string QueueRefusal(const cups_dest_t* dest, const std::string& queue) {
  const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
  const char* accepting =
      cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
  const char* reasons = cupsGetOption("printer-state-reasons", dest->num_options, dest->options);
  const std::string why = reasons != nullptr && std::strcmp(reasons, "none") != 0
                              ? std::string(" (") + reasons + ")"
                              : "";
  if (accepting != nullptr && std::strcmp(accepting, "false") == 0) {
    return "the queue " + queue + " does not accept jobs" + why;
  }
  if (state != nullptr && std::atoi(state) == IPP_PSTATE_STOPPED) {
    return "the queue " + queue + " is stopped" + why;
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

// Asks the scheduler for the queue `name`, or for its default queue when `name` is empty, and
// returns the queue's name. "" with `*missing` when the scheduler answered that there is none,
// "" with `*cause` when it did not answer properly.
std::string AskForQueue(SchedulerLink& link, const std::string& name, bool* missing,
                        std::string* cause) {
  Ipp request(
      ippNewRequest(name.empty() ? IPP_OP_CUPS_GET_DEFAULT : IPP_OP_GET_PRINTER_ATTRIBUTES));
  if (!name.empty()) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", 0,
                     "/printers/%s", name.c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  }
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "printer-name");
  Ipp response(cupsDoRequest(link.get(), request.release(), "/"));
  const ipp_status_t status = cupsLastError();
  if (link.answered() && status == IPP_STATUS_ERROR_NOT_FOUND) {
    *missing = true;
    return "";
  }
  if (response == nullptr || !link.answered() || !Succeeded(status)) {
    *cause = link.Cause();
    return "";
  }
  ipp_attribute_t* found = ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME);
  const char* value = found == nullptr ? nullptr : ippGetString(found, 0, nullptr);
  if (value == nullptr || *value == '\0') {
    *cause = "the print server answered without naming a queue";
    return "";
  }
  return value;
}

// What looking for the printer found, as the child hands it to the program.
struct Found {
  std::string kind;  // "file", "failed" or "cups"
  std::string cause;
  std::string name;
  std::string instance;
  PrinterDevice device;

  static Found File() {
    Found found;
    found.kind = "file";
    return found;
  }
  static Found Failed(std::string cause) {
    Found found;
    found.kind = "failed";
    found.cause = std::move(cause);
    return found;
  }
};

std::string Serialize(const Found& found) {
  std::ostringstream out;
  out.precision(17);
  const PrinterDevice& d = found.device;
  out << found.kind << "\n"
      << OneLine(found.cause) << "\n"
      << found.name << "\n"
      << found.instance << "\n"
      << d.dpi_x << " " << d.dpi_y << " " << d.page_width_pt << " " << d.page_height_pt << " "
      << d.printable_left_px << " " << d.printable_top_px << " " << d.printable_width_px << " "
      << d.printable_height_px << " " << d.media << "\n";
  return out.str();
}

Found Deserialize(const std::string& text) {
  std::istringstream in(text);
  Found found;
  std::getline(in, found.kind);
  std::getline(in, found.cause);
  std::getline(in, found.name);
  std::getline(in, found.instance);
  PrinterDevice& d = found.device;
  in >> d.dpi_x >> d.dpi_y >> d.page_width_pt >> d.page_height_pt >> d.printable_left_px >>
      d.printable_top_px >> d.printable_width_px >> d.printable_height_px >> d.media;
  if (!in) found = Found::Failed("the look for the printer gave an answer that cannot be read");
  return found;
}

// Runs in the child: finds the default queue as the user and the machine name it, and measures it.
Found LookForPrinter(SpoolerChannel& channel, const UserChoice& choice, const std::string& server,
                     int port) {
  const std::string who = "the print server " + server;
  const auto failed = [](std::string cause) { return Found::Failed(std::move(cause)); };
  channel.Step("connecting to " + who);
  std::string cause;
  int refusal = 0;
  switch (ProbeScheduler(server, port, &cause, &refusal)) {
    case Presence::kAbsent:
      if (choice.server_from.empty()) return Found::File();
      // A server the user named that is not there is a mistake to report, not "no printer".
      return failed("the print server " + server + " named by " + choice.server_from +
                    " refuses connections (" + std::strerror(refusal) + ")");
    case Presence::kUnreachable:
      return failed(choice.server_from.empty() ? cause
                                               : cause + " (named by " + choice.server_from + ")");
    case Presence::kListening:
      break;
  }
  SchedulerLink link(server, port);
  if (!link.Open()) return failed(link.Cause());

  channel.Step("asking " + who + " for the default printer");
  bool missing = false;
  const std::string name = AskForQueue(link, choice.name, &missing, &cause);
  if (missing && choice.name.empty()) return Found::File();
  if (missing) {
    return failed("the default printer " + QueueName(choice.name, choice.instance) +
                  " does not exist (named by " + choice.name_from + ")");
  }
  if (name.empty()) return failed(cause);

  const std::string queue = QueueName(name, choice.instance);
  channel.Step("measuring the printer " + queue + " at " + who);
  Dest dest(cupsGetNamedDest(link.get(), name.c_str(),
                             choice.instance.empty() ? nullptr : choice.instance.c_str()));
  if (dest == nullptr) {
    return failed("the printer " + queue + " could not be measured: " + link.Cause());
  }
  std::optional<PrinterDevice> device = Measure(link, dest.get(), &cause);
  if (!device) return failed("the printer " + queue + " could not be measured: " + cause);
  Found found;
  found.kind = "cups";
  found.name = name;
  found.instance = choice.instance;
  found.device = *device;
  return found;
}

std::string Seconds(int seconds) { return std::to_string(seconds) + " seconds"; }

// Why a call that did not finish ended, and what became of its job.
std::string Unfinished(const SpoolerCallResult& call, bool cancelled) {
  std::string cause;
  const std::string step = call.step.empty() ? "talking to the print server" : call.step;
  switch (call.end) {
    case SpoolerCallResult::End::kDeadline:
      cause = step + " did not end within the " + Seconds(kHandOverSeconds) + " allowed";
      break;
    case SpoolerCallResult::End::kStopped:
      cause = "the run was ended by " + SignalName(call.signal) + " while " + step;
      break;
    case SpoolerCallResult::End::kLost:
    case SpoolerCallResult::End::kFinished:
      cause = "the connection to the print server was lost while " + step;
      break;
  }
  if (call.job_id > 0) {
    cause += cancelled ? " (its job " + std::to_string(call.job_id) + " was cancelled)"
                       : " (its job " + std::to_string(call.job_id) + " could not be cancelled)";
  }
  return cause;
}

std::unique_ptr<Destination> FindDestination(const std::string& program_dir, WholeFileWriter write,
                                             const std::string& job_title) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(kHandOverSeconds);
  if (Environment("TOLV_PRINTER") == "file") {
    return std::make_unique<FileDestination>(program_dir, write);
  }

  const UserChoice choice = ReadUserChoice();
  // Read the scheduler's name afresh (CUPS_SERVER, client.conf, the local socket).
  cupsSetServer(nullptr);
  const std::string server = cupsServer();
  const int port = ippPort();
  const SpoolerCallResult call =
      CallSpooler(deadline, std::chrono::seconds(0), [&](SpoolerChannel& channel) {
        return Serialize(LookForPrinter(channel, choice, server, port));
      });
  if (call.end != SpoolerCallResult::End::kFinished) {
    return std::make_unique<FailedPrinterDestination>(program_dir,
                                                      Unfinished(call, /*cancelled=*/false), write);
  }
  const Found found = Deserialize(call.reply);
  if (found.kind == "file") return std::make_unique<FileDestination>(program_dir, write);
  if (found.kind != "cups") {
    return std::make_unique<FailedPrinterDestination>(program_dir, found.cause, write);
  }
  auto queue = std::make_unique<CupsDestination>(program_dir, server, port, found.name,
                                                 found.instance, found.device, deadline, write);
  queue->set_job_title(job_title);
  return queue;
}

// Cancels `job_id` on `name` over a connection of its own, within `deadline` (or, after a stop
// signal, within the time kept back for it).
bool CancelJob(const std::string& server, int port, const std::string& name, int job_id,
               Clock::time_point deadline) {
  const SpoolerCallResult call = CallSpooler(
      deadline, std::chrono::seconds(0),
      [&](SpoolerChannel&) -> std::string {
        SchedulerLink link(server, port);
        if (!link.Open()) return "no";
        return cupsCancelJob2(link.get(), name.c_str(), job_id, 0) == IPP_STATUS_OK ? "yes" : "no";
      },
      /*heed_stop_signal=*/false);
  return call.end == SpoolerCallResult::End::kFinished && call.reply == "yes";
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

std::string ImplausibleDevice(const PrinterDevice& device) {
  const auto outside = [](double dpi) { return !(dpi >= kMinDpi && dpi <= kMaxDpi); };
  if (outside(device.dpi_x) || outside(device.dpi_y)) {
    char text[160];
    std::snprintf(text, sizeof(text), "its resolution %gx%g dpi is outside %g to %g dpi",
                  device.dpi_x, device.dpi_y, kMinDpi, kMaxDpi);
    return text;
  }
  const double width_mm = device.printable_width_px / device.dpi_x * kMmPerInch;
  const double height_mm = device.printable_height_px / device.dpi_y * kMmPerInch;
  // Areas are whole pixels: one pixel short of the form's size still holds it.
  const double pixel_x_mm = kMmPerInch / device.dpi_x;
  const double pixel_y_mm = kMmPerInch / device.dpi_y;
  if (!(width_mm + pixel_x_mm >= kMinPrintableWidthMm &&
        height_mm + pixel_y_mm >= kMinPrintableHeightMm)) {
    char text[200];
    std::snprintf(text, sizeof(text),
                  "its printable area of %.1f x %.1f mm cannot hold one form of %g x %g mm",
                  width_mm, height_mm, kMinPrintableWidthMm, kMinPrintableHeightMm);
    return text;
  }
  return "";
}

std::unique_ptr<Destination> OpenDefaultDestination(const std::string& program_dir,
                                                    WholeFileWriter write,
                                                    const std::string& job_title) {
  std::unique_ptr<Destination> found = FindDestination(program_dir, write, job_title);
  // A printer that failed already says why, a stop signal included.
  if (dynamic_cast<FailedPrinterDestination*>(found.get()) != nullptr) return found;
  return std::make_unique<StoppableDestination>(program_dir, std::move(found), write);
}

StoppableDestination::StoppableDestination(std::string program_dir,
                                           std::unique_ptr<Destination> inner,
                                           WholeFileWriter write)
    : program_dir_(std::move(program_dir)), inner_(std::move(inner)), write_(write) {}

HandOverResult StoppableDestination::HandOver(const FinishedDocument& document) {
  if (StopSignal() != 0) {
    return KeepAfterFailure(write_, program_dir_, document,
                            "the run was ended by " + SignalName(StopSignal()) +
                                " before the document was handed over");
  }
  return inner_->HandOver(document);
}

CupsDestination::CupsDestination(std::string program_dir, std::string server, int port,
                                 std::string name, std::string instance, PrinterDevice device,
                                 Clock::time_point deadline, WholeFileWriter write)
    : program_dir_(std::move(program_dir)),
      server_(std::move(server)),
      port_(port),
      name_(std::move(name)),
      instance_(std::move(instance)),
      queue_(QueueName(name_, instance_)),
      device_(std::move(device)),
      deadline_(deadline),
      write_(write) {}

HandOverResult CupsDestination::HandOver(const FinishedDocument& document) {
  const std::string cause = SendJob(document.bytes);
  if (cause.empty()) return {};
  return KeepAfterFailure(write_, program_dir_, document,
                          "printing on " + queue_ + " failed: " + cause);
}

// Create the job, send its one document, finish it; cancel a job that was created when a later
// call fails or the time runs out, so that no half document prints. Every call goes over one
// connection, opened to the scheduler the queue was found on: cupsConnectDest would dial the host
// of the queue's URI (localhost:631), which a scheduler listening only on its socket does not
// serve.
std::string CupsDestination::SendJob(std::string_view pdf) {
  const std::string who = "the print server " + server_;
  const SpoolerCallResult call = CallSpooler(
      deadline_, std::chrono::seconds(kCancelReserveSeconds),
      [&](SpoolerChannel& channel) -> std::string {
        channel.Step("connecting to " + who);
        SchedulerLink link(server_, port_);
        if (!link.Open()) return link.Cause();
        channel.Step("reading the state of the queue " + queue_ + " at " + who);
        Dest fresh(cupsGetNamedDest(link.get(), name_.c_str(),
                                    instance_.empty() ? nullptr : instance_.c_str()));
        if (fresh == nullptr) return link.answered() ? "the queue no longer exists" : link.Cause();
        const std::string refusal = QueueRefusal(fresh.get(), queue_);
        if (!refusal.empty()) return refusal;
        DestInfo info(cupsCopyDestInfo(link.get(), fresh.get()));
        if (info == nullptr) return link.Cause();

        channel.Step("creating the job at " + who);
        const JobOptions options(device_.media, fresh.get());
        int job_id = 0;
        if (!Succeeded(cupsCreateDestJob(link.get(), fresh.get(), info.get(), &job_id,
                                         job_title_.c_str(), options.count, options.options))) {
          return link.Cause();
        }
        if (job_id <= 0) return "the print server created the job without a number";
        channel.JobCreated(job_id);
        channel.Step("sending the document to " + who);
        if (cupsStartDestDocument(link.get(), fresh.get(), info.get(), job_id, job_title_.c_str(),
                                  CUPS_FORMAT_PDF, 0, nullptr,
                                  /*last_document=*/1) != HTTP_STATUS_CONTINUE ||
            cupsWriteRequestData(link.get(), pdf.data(), pdf.size()) != HTTP_STATUS_CONTINUE ||
            (channel.Step("finishing the job at " + who),
             !Succeeded(cupsFinishDestDocument(link.get(), fresh.get(), info.get())))) {
          // The job is cancelled over a connection of its own (this one may be stuck in the
          // middle of the refused request) with a plain Cancel-Job: libcups' own way first asks
          // the queue's attributes again, and retries a "busy" answer to that for 31 seconds.
          // The deadline still bounds it.
          SchedulerLink again(server_, port_);
          const bool cancelled = again.Open() && cupsCancelJob2(again.get(), name_.c_str(), job_id,
                                                                0) == IPP_STATUS_OK;
          return link.Cause() + " (its job " + std::to_string(job_id) +
                 (cancelled ? " was cancelled)" : " could not be cancelled)");
        }
        return "";
      });
  if (call.end == SpoolerCallResult::End::kFinished) return call.reply;
  const Clock::time_point cancel_by =
      call.end == SpoolerCallResult::End::kStopped
          ? Clock::now() + std::chrono::seconds(kCancelReserveSeconds)
          : deadline_;
  const bool cancelled =
      call.job_id > 0 && CancelJob(server_, port_, name_, call.job_id, cancel_by);
  return Unfinished(call, cancelled);
}

}  // namespace tolv
