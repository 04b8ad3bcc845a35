// Work done in a forked child, for POSIX tests whose work changes what a process keeps (its
// environment, what a library has read once) or may hang.
#ifndef TOLV_TESTS_SUPPORT_CHILD_PROCESS_H_
#define TOLV_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

namespace tolv::testing {

// Runs `work` in a forked child and returns what it returned. libcups keeps the scheduler's name
// per process once read, and the environment is per process: each scenario gets its own.
// Nothing when the child dies or is still busy after `limit` (it is killed: a hang, not a slow
// run).
template <typename Work>
std::optional<std::string> RunInChild(Work work,
                                      std::chrono::seconds limit = std::chrono::seconds(120)) {
  int fds[2];
  if (pipe(fds) != 0) return std::nullopt;
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    close(fds[0]);
    const std::string result = work();
    size_t done = 0;
    while (done < result.size()) {
      const ssize_t n = write(fds[1], result.data() + done, result.size() - done);
      if (n <= 0) _exit(3);
      done += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string result;
  const auto end = std::chrono::steady_clock::now() + limit;
  bool finished = false;
  while (!finished) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd wait{fds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) == 0) break;
    char buffer[4096];
    const ssize_t n = read(fds[0], buffer, sizeof(buffer));
    if (n > 0) {
      result.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      finished = true;
    }
  }
  close(fds[0]);
  if (!finished) kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  if (!finished || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return result;
}

}  // namespace tolv::testing

#endif  // TOLV_TESTS_SUPPORT_CHILD_PROCESS_H_
