// Servers of a test's own on this machine, for the schedulers a real one cannot be made to be: a
// listening socket (a unix socket file, or a free port on 127.0.0.1) served by a forked process
// that ends with its object, and with the test. POSIX only.
#ifndef TOLV_TESTS_SUPPORT_LOCAL_SERVER_H_
#define TOLV_TESTS_SUPPORT_LOCAL_SERVER_H_

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace tolv::testing {

// A unix socket listening at `path`; -1 when none can be made.
int ListenOnUnixSocket(const std::string& path);
// A TCP socket listening on 127.0.0.1 at a free port, which `port` receives; -1 when none can be
// made.
int ListenOnLoopback(int* port);
// A TCP port on 127.0.0.1 that refuses connections.
int ClosedPort();

// Sends all of `bytes` (without a SIGPIPE); false when the connection broke.
bool SendAll(int fd, std::string_view bytes);

// A forked process that serves `listener` with `serve`, which does not return. The listener is the
// process's: it is closed here. The process is killed on destruction, and when the test's process
// ends first. A listener of -1 starts nothing.
class ServerProcess {
 public:
  ServerProcess(int listener, const std::function<void(int listener)>& serve);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// In a server process: each connection served by `serve` in a process of its own, which ends when
// `serve` returns.
[[noreturn]] void ServeEachConnection(int listener,
                                      const std::function<void(int connection)>& serve);

// A scheduler that is there but does not work: it takes every connection on a unix socket at `path`
// and never says a word (or, with `hang_up`, closes each at once).
class SilentServer {
 public:
  explicit SilentServer(const std::string& path, bool hang_up = false);
  ~SilentServer();

  bool listening() const { return server_.running(); }

 private:
  std::string path_;
  ServerProcess server_;
};

// The same on 127.0.0.1, at a free port: a scheduler's address that answers nothing.
class SilentTcpServer {
 public:
  SilentTcpServer();

  bool listening() const { return server_.running(); }
  int port() const { return port_; }

 private:
  int port_ = 0;
  ServerProcess server_;
};

}  // namespace tolv::testing

#endif  // TOLV_TESTS_SUPPORT_LOCAL_SERVER_H_
