#include "platform/cups/scheduler_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

#include "destination/file_printer.h"
#include "platform/cups/spooler_call.h"

namespace tolv {
namespace {

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

}  // namespace

Presence ProbeScheduler(const std::string& server, int port, std::string* cause, int* refusal) {
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

bool Succeeded(ipp_status_t status) {
  return status >= IPP_STATUS_OK && status < IPP_STATUS_REDIRECTION_OTHER_SITE;
}

namespace {

const char* NoPassword(const char*, http_t*, const char*, const char*, void*) { return nullptr; }

}  // namespace

SchedulerLink::SchedulerLink(std::string server, int port)
    : server_(std::move(server)), port_(port) {
  // Nobody watches the program: a request for a password is refused, not asked on a terminal.
  cupsSetPasswordCB2(&NoPassword, nullptr);
}

SchedulerLink::~SchedulerLink() {
  if (http_ != nullptr) httpClose(http_);
}

bool SchedulerLink::Open() {
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

bool SchedulerLink::answered() const {
  return http_ != nullptr && !gave_up_ && httpError(http_) == 0 &&
         httpGetStatus(http_) == HTTP_STATUS_OK;
}

std::string SchedulerLink::Cause() const {
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
    if (message != nullptr && *message != '\0' && std::strcmp(message, ippErrorString(ipp)) != 0) {
      answer += std::string(" (") + message + ")";
    }
    return OneLine(answer);
  }
  return who + " failed without saying why";
}

int SchedulerLink::GiveUp(http_t*, void* self) {
  static_cast<SchedulerLink*>(self)->gave_up_ = true;
  return 0;
}

}  // namespace tolv
