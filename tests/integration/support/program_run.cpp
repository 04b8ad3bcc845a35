#include "integration/support/program_run.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/files.h"

namespace tolv::testing {
namespace fs = std::filesystem;

std::string SourceDir() {
  const char* dir = getenv("TOLV_SOURCE_DIR");
  return dir != nullptr && *dir != '\0' ? dir : TOLV_SOURCE_ROOT;
}

std::string ProgramPath() {
  const char* exe = getenv("TOLV_EXE");
  if (!exe) throw std::runtime_error("TOLV_EXE is not set");
  return exe;
}

ProgramDir::ProgramDir() : ScratchDir("tolv-run") {
  // A copy, not a link: the program finds its directory through its own resolved path.
  fs::copy_file(ProgramPath(), File("tolv"));
  fs::permissions(File("tolv"),
                  fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
}

void ProgramDir::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + name);
}

std::string ProgramDir::Read(const std::string& name) const { return ReadWholeFile(File(name)); }

void ProgramDir::WriteJob(int blank, int paper_type, int offset_x, int offset_y,
                          const std::map<int, std::string>& rows, const std::string& font,
                          int zoom) const {
  std::ostringstream job;
  job << "[BLANK]\nValue=" << blank << "\n[PAPERTYPE]\nValue=" << paper_type
      << "\n[OFFSETX]\nValue=" << offset_x << "\n[OFFSETY]\nValue=" << offset_y
      << "\n[FONT]\nValue=" << font << "\n[ZOOM]\nValue=" << zoom << "\n[INFO]\n";
  char key[8];
  for (const auto& [index, text] : rows) {
    std::snprintf(key, sizeof key, "%02d", index);
    // Characters, not bytes: the row's length counts code points.
    size_t chars = 0;
    for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
    job << "ROW" << key << "=|" << text << "|\nLEN" << key << "=" << chars + 2 << "\n";
  }
  Write("ZOBAX.QJT", job.str());
}

RunResult ProgramDir::Run(const std::vector<std::string>& extra_env, int timeout_seconds) const {
  return RunWith({}, extra_env, "", timeout_seconds);
}

RunResult ProgramDir::RunWith(const std::vector<std::string>& args,
                              const std::vector<std::string>& extra_env, const std::string& program,
                              int timeout_seconds) const {
  const std::string err_path = File(".stderr");
  const std::string out_path = File(".stdout");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err >= 0) dup2(err, 2);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) dup2(out, 1);
    ChooseFilePrinterUnless(extra_env);
    for (const std::string& setting : extra_env) putenv(strdup(setting.c_str()));
    const std::string exe = program.empty() ? File("tolv") : program;
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    // A copy another process still holds open for writing (a child forked while it was being
    // copied) cannot be run for a moment: try again, then say why in the run's standard error.
    for (int i = 0; i < 100 && errno == ETXTBSY; ++i) {
      usleep(20'000);
      execv(exe.c_str(), argv.data());
    }
    dprintf(2, "cannot run %s: %s\n", exe.c_str(), strerror(errno));
    _exit(127);
  }
  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      status = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (status != -1 && WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  std::ifstream err(err_path);
  std::ostringstream text;
  text << err.rdbuf();
  result.standard_error = text.str();
  std::ifstream out(out_path);
  std::ostringstream out_text;
  out_text << out.rdbuf();
  result.standard_output = out_text.str();
  std::error_code ignored;
  fs::remove(err_path, ignored);
  fs::remove(out_path, ignored);
  return result;
}

void ChooseFilePrinterUnless(const std::vector<std::string>& settings) {
  unsetenv("LPDEST");
  unsetenv("PRINTER");
  unsetenv("CUPS_SERVER");
  unsetenv("TOLV_PRINTER");
  for (const std::string& setting : settings) {
    if (setting.rfind("CUPS_SERVER=", 0) == 0 || setting.rfind("TOLV_PRINTER=", 0) == 0) return;
  }
  setenv("TOLV_PRINTER", "file", 1);
}

std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

namespace {

std::string Unescape(std::string s) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1)) {
      s.replace(at, std::string(from).size(), to);
    }
  }
  return s;
}

}  // namespace

namespace {

// The value of attribute `name` in one tag of pdftotext's output.
double Attribute(const std::string& line, const std::string& name) {
  const size_t at = line.find(name + "=\"");
  return at == std::string::npos ? 0 : std::stod(line.substr(at + name.size() + 2));
}

}  // namespace

std::vector<Word> PdfWords(const std::string& pdf_path) {
  const std::string html = Capture("pdftotext -bbox '" + pdf_path + "' - 2>/dev/null");
  std::vector<Word> words;
  int page = 0;
  std::istringstream lines(html);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("<page ") != std::string::npos) ++page;
    const size_t open = line.find("<word ");
    if (open == std::string::npos) continue;
    const size_t text_start = line.find('>', open) + 1;
    const size_t text_end = line.find("</word>", text_start);
    words.push_back({page, Unescape(line.substr(text_start, text_end - text_start)),
                     Attribute(line, "xMin"), Attribute(line, "yMin"), Attribute(line, "xMax"),
                     Attribute(line, "yMax")});
  }
  return words;
}

int PdfPageCount(const std::string& pdf_path) {
  const std::string info = Capture("pdfinfo '" + pdf_path + "' 2>/dev/null");
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? 0 : std::stoi(info.substr(at + 6));
}

}  // namespace tolv::testing
