#include "support/local_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace tolv::testing {

int ListenOnUnixSocket(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof(address.sun_path) - 1);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(fd, 16) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int ListenOnLoopback(int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(fd, 16) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

int ClosedPort() {
  int port = 0;
  // Listened on and closed at once: nothing takes that port's connections.
  const int fd = ListenOnLoopback(&port);
  if (fd >= 0) close(fd);
  return port;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

ServerProcess::ServerProcess(int listener, const std::function<void(int listener)>& serve) {
  if (listener < 0) return;
  std::fflush(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    // Gone with the test, even when the test dies first.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    serve(listener);
    _exit(0);
  }
  close(listener);
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void ServeEachConnection(int listener, const std::function<void(int connection)>& serve) {
  signal(SIGCHLD, SIG_IGN);  // connections are served by children nobody waits for
  for (;;) {
    const int connection = accept(listener, nullptr, nullptr);
    if (connection < 0) continue;
    if (fork() == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      close(listener);
      serve(connection);
      _exit(0);
    }
    close(connection);
  }
}

namespace {

[[noreturn]] void ServeSilently(int listener, bool hang_up) {
  std::vector<int> held;
  for (;;) {
    const int connection = accept(listener, nullptr, nullptr);
    if (connection < 0) continue;
    if (hang_up) {
      close(connection);
    } else {
      held.push_back(connection);
    }
  }
}

}  // namespace

SilentServer::SilentServer(const std::string& path, bool hang_up)
    : path_(path),
      server_(ListenOnUnixSocket(path), [hang_up](int fd) { ServeSilently(fd, hang_up); }) {}

SilentServer::~SilentServer() { unlink(path_.c_str()); }

SilentTcpServer::SilentTcpServer()
    : server_(ListenOnLoopback(&port_), [](int fd) { ServeSilently(fd, /*hang_up=*/false); }) {}

}  // namespace tolv::testing
