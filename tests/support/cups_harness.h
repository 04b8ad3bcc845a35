// Test support for printing through a real spooler: a private CUPS scheduler with a virtual IPP
// printer as its default queue (scripts/test-cups), and a small PDF to print. Header-only, so that
// both the unit and the integration tests can use it.
#ifndef TOLV_TESTS_SUPPORT_CUPS_HARNESS_H_
#define TOLV_TESTS_SUPPORT_CUPS_HARNESS_H_

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace tolv::testing {

// The repository's root: TOLV_SOURCE_DIR when set, else where the build was configured from.
inline std::string SourceDirectory() {
  if (const char* dir = std::getenv("TOLV_SOURCE_DIR"); dir != nullptr && *dir != '\0') return dir;
  return TOLV_SOURCE_ROOT;
}

// A one-page A4 PDF showing `text` in Helvetica near the top-left corner.
inline std::string MinimalPdf(const std::string& text) {
  const std::string content = "BT /F1 24 Tf 72 760 Td (" + text + ") Tj ET";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595.2756 841.8898] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char line[32];
    std::snprintf(line, sizeof(line), "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

// A private scheduler (its own folder, unix socket, D-Bus bus and virtual printer), started on
// construction and stopped by its pids on destruction. Its one queue, Q, is the default.
class PrivateCupsScheduler {
 public:
  PrivateCupsScheduler() {
    const std::string script = SourceDirectory() + "/scripts/test-cups";
    const int status = std::system(
        ("'" + script + "' start '" + dir_ + "' >'" + dir_ + ".start.log' 2>&1").c_str());
    const std::string log = ReadWholeFile(dir_ + ".start.log");
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
      skip_ = "no private CUPS scheduler here: " + log;
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      problem_ = "scripts/test-cups start failed: " + log;
    } else {
      started_ = true;
      ReadEnvironment();
    }
  }

  ~PrivateCupsScheduler() {
    const std::string script = SourceDirectory() + "/scripts/test-cups";
    std::system(("'" + script + "' stop '" + dir_ + "' >/dev/null 2>&1").c_str());
    std::error_code ignored;
    std::filesystem::remove(dir_ + ".start.log", ignored);
  }

  PrivateCupsScheduler(const PrivateCupsScheduler&) = delete;
  PrivateCupsScheduler& operator=(const PrivateCupsScheduler&) = delete;

  bool started() const { return started_; }
  // Why the machine cannot run one (not root, packages missing): the test skips.
  const std::string& skip_reason() const { return skip_; }
  // Why it failed to start although it could: the test fails.
  const std::string& problem() const { return problem_; }

  const std::string& dir() const { return dir_; }
  std::string socket() const { return dir_ + "/cups.sock"; }
  // CUPS_SERVER, CUPS_SERVERROOT, HOME for a client of this scheduler.
  const std::vector<std::pair<std::string, std::string>>& environment() const { return env_; }

  // Runs a shell command (lpadmin, cupsreject, ...) as a client of this scheduler. Its output goes
  // to the scheduler's log folder unless the command sends it elsewhere; no single quotes in it.
  int Run(const std::string& command) const {
    std::string line = "env -u LPDEST -u PRINTER";
    for (const auto& [name, value] : env_) line += " " + name + "='" + value + "'";
    line += " sh -c '" + command + "' >>'" + dir_ + "/log/commands.log' 2>&1";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t SchedulerPid() const {
    std::istringstream pids(ReadWholeFile(dir_ + "/pids"));
    pid_t pid = 0;
    std::string name;
    while (pids >> pid >> name) {
      if (name == "cupsd") return pid;
    }
    return 0;
  }

  // Adds a directive to the scheduler's configuration and waits until it has reloaded with it.
  bool ReloadWith(const std::string& directive) const {
    const std::string log = dir_ + "/log/error_log";
    const auto reloads = [&] {
      const std::string text = ReadWholeFile(log);
      size_t count = 0;
      for (size_t at = text.find("Full reload complete"); at != std::string::npos;
           at = text.find("Full reload complete", at + 1)) {
        ++count;
      }
      return count;
    };
    const size_t before = reloads();
    std::ofstream(dir_ + "/cupsd.conf", std::ios::app) << directive << "\n";
    if (kill(SchedulerPid(), SIGHUP) != 0) return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (reloads() == before || Run("test \"$(lpstat -r)\" = \"scheduler is running\"") != 0) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  // Documents the virtual printer has received, as paths.
  std::vector<std::string> ReceivedDocuments() const {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ + "/printed", error)) {
      if (entry.path().extension() == ".pdf") found.push_back(entry.path());
    }
    return found;
  }

  // A job goes through the queue's filter and backend after it was handed over: waits until the
  // printer has `count` documents, or `limit` has passed (a stuck job is a failure, not a slow
  // one).
  bool WaitForDocuments(size_t count, std::chrono::seconds limit = std::chrono::seconds(90)) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (ReceivedDocuments().size() < count) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
  }

 private:
  void ReadEnvironment() {
    std::istringstream lines(ReadWholeFile(dir_ + "/env"));
    std::string line;
    while (std::getline(lines, line)) {
      const auto equals = line.find('=');
      if (equals != std::string::npos)
        env_.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
  }

  const ScratchDir scratch_{"tolv-cups"};  // removed after the destructor stops the scheduler
  const std::string dir_ = scratch_.path();
  bool started_ = false;
  std::string skip_;
  std::string problem_;
  std::vector<std::pair<std::string, std::string>> env_;
};

}  // namespace tolv::testing

#endif  // TOLV_TESTS_SUPPORT_CUPS_HARNESS_H_
