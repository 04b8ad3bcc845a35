#include "integration/support/fake_scheduler.h"

#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <string>

namespace tolv::testing {
namespace {

struct Request {
  int id = -1;  // -1 when the connection ended
  int operation = 0;
};

// Reads one request: its head, then the body its Content-Length or chunks announce, and of its
// IPP message the operation (bytes 2 and 3) and the request id (bytes 4 to 7).
Request ReadRequest(int fd) {
  std::string data;
  char buffer[8192];
  size_t head_end = std::string::npos;
  while ((head_end = data.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n <= 0) return {};
    data.append(buffer, static_cast<size_t>(n));
  }
  std::string head = data.substr(0, head_end);
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string body = data.substr(head_end + 4);
  const size_t length_at = head.find("content-length:");
  const bool chunked = head.find("transfer-encoding: chunked") != std::string::npos;
  const size_t length =
      length_at == std::string::npos ? 0 : std::strtoul(head.c_str() + length_at + 15, nullptr, 10);
  const auto more = [&] {
    const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n <= 0) return false;
    body.append(buffer, static_cast<size_t>(n));
    return true;
  };
  if (chunked) {
    while (body.find("\r\n0\r\n\r\n") == std::string::npos && body.rfind("0\r\n\r\n", 0) != 0) {
      if (!more()) return {};
    }
  } else {
    while (body.size() < length) {
      if (!more()) return {};
    }
  }
  // A chunked body starts with its first chunk's size line.
  if (chunked) body.erase(0, body.find("\r\n") + 2);
  if (body.size() < 8) return {.id = 0};
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(body[i]); };
  return {.id = static_cast<int>((byte(4) << 24) | (byte(5) << 16) | (byte(6) << 8) | byte(7)),
          .operation = (byte(2) << 8) | byte(3)};
}

void AddAttribute(std::string& ipp, unsigned char tag, const std::string& name,
                  const std::string& value) {
  ipp.push_back(static_cast<char>(tag));
  ipp.push_back(static_cast<char>(name.size() >> 8));
  ipp.push_back(static_cast<char>(name.size() & 0xFF));
  ipp += name;
  ipp.push_back(static_cast<char>(value.size() >> 8));
  ipp.push_back(static_cast<char>(value.size() & 0xFF));
  ipp += value;
}

std::string Int32(int value) {
  std::string bytes;
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(value >> shift));
  return bytes;
}

// An IPP/2.0 answer with `status`, the two attributes every answer carries and `groups` (encoded
// attribute groups).
std::string IppAnswer(int status, int request_id, const std::string& groups = "") {
  std::string ipp = {2, 0, static_cast<char>(status >> 8), static_cast<char>(status & 0xFF)};
  ipp += Int32(request_id);
  ipp.push_back(0x01);  // operation attributes
  AddAttribute(ipp, 0x47, "attributes-charset", "utf-8");
  AddAttribute(ipp, 0x48, "attributes-natural-language", "en");
  ipp += groups;
  ipp.push_back(0x03);  // end of attributes
  return ipp;
}

constexpr int kCreateJob = 0x0005;
constexpr int kGetPrinterAttributes = 0x000B;
constexpr int kCupsGetDefault = 0x4001;

// The default queue, as a scheduler describes it whatever was asked: the attributes libcups reads
// for a destination, its state, and what the printer is measured by (default media, its margins
// without a media-col-database, default resolution).
std::string PrinterGroup() {
  std::string group(1, 0x04);  // printer attributes
  const auto keyword = [&](const char* name, const char* value) {
    AddAttribute(group, 0x44, name, value);
  };
  const auto integer = [&](unsigned char tag, const char* name, int value) {
    AddAttribute(group, tag, name, Int32(value));
  };
  AddAttribute(group, 0x42, "printer-name", FakeScheduler::kQueue);
  AddAttribute(group, 0x45, "printer-uri-supported",
               std::string("ipp://localhost/printers/") + FakeScheduler::kQueue);
  integer(0x23, "printer-state", 3);  // idle
  keyword("printer-state-reasons", "none");
  AddAttribute(group, 0x22, "printer-is-accepting-jobs", std::string(1, 1));
  AddAttribute(group, 0x49, "document-format-supported", "application/pdf");
  keyword("media-supported", "iso_a4_210x297mm");
  keyword("media-default", "iso_a4_210x297mm");
  for (const char* side : {"bottom", "left", "right", "top"}) {
    integer(0x21, ("media-" + std::string(side) + "-margin-supported").c_str(), 423);
  }
  const std::string dpi300 = Int32(300) + Int32(300) + std::string(1, 3);  // dots per inch
  AddAttribute(group, 0x32, "printer-resolution-supported", dpi300);
  AddAttribute(group, 0x32, "printer-resolution-default", dpi300);
  keyword("sides-supported", "one-sided");
  return group;
}

std::string HttpHead(int code, size_t length) {
  return "HTTP/1.1 " + std::to_string(code) + " Fake\r\nContent-Length: " + std::to_string(length) +
         "\r\nContent-Type: application/ipp\r\n" +
         (code == 401 ? "WWW-Authenticate: Basic realm=\"CUPS\"\r\n" : "") + "\r\n";
}

// What a scheduler whose default queue works answers: the printer to questions about it, job 1
// to Create-Job, success to the rest.
std::string WorkingAnswer(const Request& request) {
  if (request.operation == kCupsGetDefault || request.operation == kGetPrinterAttributes) {
    return IppAnswer(0x0000, request.id, PrinterGroup());
  }
  if (request.operation == kCreateJob) {
    std::string job(1, 0x02);  // job attributes
    AddAttribute(job, 0x21, "job-id", Int32(1));
    AddAttribute(job, 0x23, "job-state", Int32(3));  // pending
    return IppAnswer(0x0000, request.id, job);
  }
  return IppAnswer(0x0000, request.id);
}

bool Received(const std::string& count_path, int operation) {
  std::ifstream in(count_path);
  for (int seen = 0; in >> seen;) {
    if (seen == operation) return true;
  }
  return false;
}

// Answers the requests of one connection until it ends, or until an answer ends it (it was cut
// short, or never ends).
void Serve(int fd, FakeScheduler::Answer answer, int code, int failing_from,
           const std::string& count_path) {
  for (;;) {
    const Request request = ReadRequest(fd);
    if (request.id < 0) return;
    std::ofstream(count_path, std::ios::app) << request.operation << "\n";
    if (failing_from != 0 && !Received(count_path, failing_from)) {
      const std::string ipp = WorkingAnswer(request);
      if (!SendAll(fd, HttpHead(200, ipp.size()) + ipp)) return;
      continue;
    }
    switch (answer) {
      case FakeScheduler::Answer::kHttpStatus:
        if (!SendAll(fd, HttpHead(code, 0))) return;
        break;
      case FakeScheduler::Answer::kIppStatus: {
        const std::string ipp = IppAnswer(code, request.id);
        if (!SendAll(fd, HttpHead(200, ipp.size()) + ipp)) return;
        break;
      }
      case FakeScheduler::Answer::kTrickle: {
        const std::string ipp = IppAnswer(0x0406, request.id);
        for (char c : HttpHead(200, ipp.size()) + ipp) {
          if (!SendAll(fd, std::string(1, c))) return;
          sleep(1);
        }
        break;
      }
      case FakeScheduler::Answer::kEndlessHeader: {
        if (!SendAll(fd, "HTTP/1.1 200 OK\r\n")) return;
        const std::string lines = [] {
          std::string text;
          for (int i = 0; i < 1000; ++i) text += "X-Filler: " + std::string(60, 'x') + "\r\n";
          return text;
        }();
        while (SendAll(fd, lines)) {
        }
        return;
      }
    }
  }
}

}  // namespace

FakeScheduler::FakeScheduler(Answer answer, int code, int failing_from)
    : server_(ListenOnLoopback(&port_), [&](int listener) {
        ServeEachConnection(listener, [&](int connection) {
          Serve(connection, answer, code, failing_from, operations_path_);
        });
      }) {}

std::string FakeScheduler::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<int> FakeScheduler::operations() const {
  std::ifstream in(operations_path_);
  std::vector<int> operations;
  for (int operation = 0; in >> operation;) operations.push_back(operation);
  return operations;
}

}  // namespace tolv::testing
