// A scheduler of the test's own on 127.0.0.1, for the answers a real one cannot be made to give:
// every request gets the same kind of answer (an HTTP status, an IPP status, an answer that
// trickles in a byte a second, a header without end); or it works as a scheduler with one default
// queue until a request of one operation comes, and from that request on fails so. It runs in a
// forked process, ended with the object (and with the test).
#ifndef TOLV_TESTS_INTEGRATION_SUPPORT_FAKE_SCHEDULER_H_
#define TOLV_TESTS_INTEGRATION_SUPPORT_FAKE_SCHEDULER_H_

#include <string>
#include <vector>

#include "support/local_server.h"
#include "support/temp_dir.h"

namespace tolv::testing {

class FakeScheduler {
 public:
  enum class Answer {
    kIppStatus,      // HTTP 200 with an IPP answer of status `code`
    kHttpStatus,     // HTTP `code` without a body (401 with a request for a password)
    kTrickle,        // an IPP answer saying "not found", one byte a second
    kEndlessHeader,  // HTTP 200 and header lines without end, as fast as they are taken
  };
  // The default queue of a scheduler that works for a while: A4 with margins of 4.23 mm, 300 dpi,
  // PDF. It makes job 1 on Create-Job and takes every other request.
  static constexpr const char* kQueue = "Fake";
  // `answer` to every request; or, when `failing_from` (an IPP operation) is not 0, to every
  // request from the first of that operation on.
  FakeScheduler(Answer answer, int code = 0, int failing_from = 0);

  bool listening() const { return server_.running(); }
  // "127.0.0.1:<port>", for CUPS_SERVER.
  std::string address() const;
  // The operation of each request it has read so far, in order (a request whose answer was cut
  // short counts).
  std::vector<int> operations() const;

 private:
  int port_ = 0;
  const ScratchDir dir_{"tolv-fake-scheduler"};
  const std::string operations_path_ = dir_.File("operations");  // one line per request read
  ServerProcess server_;  // declared last: it ends before the file goes
};

}  // namespace tolv::testing

#endif  // TOLV_TESTS_INTEGRATION_SUPPORT_FAKE_SCHEDULER_H_
