#include "integration/support/fault_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/files.h"

namespace tolv::testing {
namespace fs = std::filesystem;

std::string NoisePicture(int width, int height) {
  const int row = (width * 3 + 3) / 4 * 4;
  const uint32_t data = static_cast<uint32_t>(row) * height;
  std::string bmp = "BM";
  const auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp.push_back(static_cast<char>(v >> (8 * i)));
  };
  const auto u16 = [&](uint16_t v) {
    bmp.push_back(static_cast<char>(v));
    bmp.push_back(static_cast<char>(v >> 8));
  };
  // The file header, then the picture's: one plane, 24 bits a pixel, not compressed, 96 dpi.
  for (uint32_t v : {54 + data, 0u, 54u, 40u}) u32(v);
  u32(static_cast<uint32_t>(width));
  u32(static_cast<uint32_t>(height));
  u16(1);
  u16(24);
  for (uint32_t v : {0u, data, 3780u, 3780u, 0u, 0u}) u32(v);
  std::mt19937 noise(7);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bmp.append(3, static_cast<char>(noise() & 0xFF));
    bmp.append(row - width * 3, '\0');
  }
  return bmp;
}

bool FileState::operator==(const FileState& other) const {
  return kind == other.kind && bytes == other.bytes && mtime.tv_sec == other.mtime.tv_sec &&
         mtime.tv_nsec == other.mtime.tv_nsec;
}

FileState StateOf(const std::string& path) {
  FileState state;
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return state;
  state.mtime = info.st_mtim;
  if (S_ISLNK(info.st_mode)) {
    state.kind = FileState::Kind::kLink;
    state.bytes = fs::read_symlink(path).string();
  } else if (S_ISREG(info.st_mode)) {
    state.kind = FileState::Kind::kFile;
    state.bytes = ReadWholeFile(path);
  } else if (S_ISDIR(info.st_mode)) {
    state.kind = FileState::Kind::kDirectory;
  } else {
    state.kind = FileState::Kind::kOther;
  }
  return state;
}

std::ostream& operator<<(std::ostream& out, const FileState& state) {
  static const char* const kKinds[] = {"missing", "file", "link", "directory", "other"};
  out << kKinds[static_cast<int>(state.kind)];
  if (state.kind == FileState::Kind::kMissing) return out;
  out << " of " << state.bytes.size() << " bytes, modified " << state.mtime.tv_sec << "."
      << state.mtime.tv_nsec;
  if (state.kind == FileState::Kind::kLink) out << ", to " << state.bytes;
  return out;
}

std::vector<std::string> NamesIn(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(directory, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string PdfProblem(const std::string& path) {
  std::string bytes = ReadWholeFile(path);
  if (bytes.empty()) return "no document at " + path;
  if (bytes.rfind("%PDF-", 0) != 0) return "not a PDF";
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r' || bytes.back() == ' ')) {
    bytes.pop_back();
  }
  if (bytes.size() < 5 || bytes.compare(bytes.size() - 5, 5, "%%EOF") != 0) {
    return "the document does not end with %%EOF";
  }
  const std::string complaints = Capture("pdfinfo '" + path + "' 2>&1 >/dev/null");
  if (!complaints.empty()) return "pdfinfo: " + complaints;
  if (PdfPageCount(path) < 1) return "no pages";
  return "";
}

std::string PdfRaster(const std::string& path, int dpi) {
  return Capture("pdftoppm -r " + std::to_string(dpi) + " -gray '" + path + "' 2>/dev/null");
}

namespace {

// One grey page of pdftoppm's output: "P5 width height 255\n" and a byte a pixel.
struct GreyPage {
  int width = 0;
  int height = 0;
  const unsigned char* pixels = nullptr;
};

std::vector<GreyPage> GreyPages(const std::string& pgm) {
  std::vector<GreyPage> pages;
  size_t at = 0;
  while (at < pgm.size()) {
    std::istringstream header(pgm.substr(at, 64));
    std::string magic;
    GreyPage page;
    int max_value = 0;
    header >> magic >> page.width >> page.height >> max_value;
    if (!header || magic != "P5" || max_value != 255 || page.width <= 0 || page.height <= 0) break;
    const size_t data = at + static_cast<size_t>(header.tellg()) + 1;
    const size_t size = static_cast<size_t>(page.width) * page.height;
    if (data + size > pgm.size()) break;
    page.pixels = reinterpret_cast<const unsigned char*>(pgm.data()) + data;
    pages.push_back(page);
    at = data + size;
  }
  return pages;
}

}  // namespace

size_t AddedInk(const std::string& with, const std::string& without) {
  const std::vector<GreyPage> a = GreyPages(with);
  const std::vector<GreyPage> b = GreyPages(without);
  if (a.empty() || a.size() != b.size()) return 0;
  size_t added = 0;
  for (size_t page = 0; page < a.size(); ++page) {
    if (a[page].width != b[page].width || a[page].height != b[page].height) return 0;
    const size_t size = static_cast<size_t>(a[page].width) * a[page].height;
    for (size_t i = 0; i < size; ++i) added += a[page].pixels[i] < 128 && b[page].pixels[i] >= 128;
  }
  return added;
}

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  out << "exit status " << outcome.exit_status;
  if (outcome.signal != 0) out << ", signal " << outcome.signal;
  if (outcome.timed_out) out << ", killed at the time-out";
  return out << ", after " << outcome.seconds << " s, standard error \"" << outcome.standard_error
             << "\"";
}

namespace {

[[noreturn]] void StartChild(const ProgramDir& dir, const RunOptions& options,
                             const std::string& err_path, int gate_read, int gate_write) {
  close(gate_write);
  const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (err >= 0) dup2(err, 2);
  ChooseFilePrinterUnless(options.env);
  for (const std::string& setting : options.env) putenv(strdup(setting.c_str()));
  if (options.namespaces_of > 0) {
    for (const char* kind : {"net", "mnt"}) {
      const std::string path = "/proc/" + std::to_string(options.namespaces_of) + "/ns/" + kind;
      const int ns = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (ns < 0 || setns(ns, 0) != 0) _exit(125);
      close(ns);
    }
  }
  if (options.as_other_user) {
    if (setgroups(0, nullptr) != 0 || setgid(options.gid) != 0 || setuid(options.uid) != 0) {
      _exit(126);
    }
  }
  // After the change of user, which clears it: a run does not outlive the test.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (options.file_size_limit > 0) {
    const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                       static_cast<rlim_t>(options.file_size_limit)};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (options.memory_limit > 0) {
    const rlimit limit{static_cast<rlim_t>(options.memory_limit),
                       static_cast<rlim_t>(options.memory_limit)};
    setrlimit(RLIMIT_AS, &limit);
  }
  // Every copy waits here until the gate is closed on the other side.
  char ignored;
  while (read(gate_read, &ignored, 1) < 0 && errno == EINTR) {
  }
  close(gate_read);
  if (options.standard_descriptors_closed) {
    for (int fd = 0; fd <= 2; ++fd) close(fd);
  }
  const std::string exe = dir.File("tolv");
  execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
  _exit(127);
}

}  // namespace

std::vector<Outcome> RunTogether(const ProgramDir& dir, int count, const RunOptions& options) {
  const ScratchDir errors("tolv-faults");
  int gate[2];
  if (pipe(gate) != 0) throw std::runtime_error("pipe failed");

  std::vector<pid_t> pids;
  std::vector<std::string> err_paths;
  for (int i = 0; i < count; ++i) {
    err_paths.push_back(errors.File("stderr." + std::to_string(i)));
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) StartChild(dir, options, err_paths.back(), gate[0], gate[1]);
    pids.push_back(pid);
  }
  const auto start = std::chrono::steady_clock::now();
  close(gate[1]);
  close(gate[0]);

  std::vector<Outcome> outcomes(static_cast<size_t>(count));
  std::vector<bool> done(static_cast<size_t>(count), false);
  const auto deadline = start + std::chrono::seconds(options.timeout_seconds);
  bool signalled = options.signal == 0;
  for (size_t left = pids.size(); left > 0;) {
    if (!signalled &&
        (options.signal_when ? options.signal_when()
                             : std::chrono::steady_clock::now() - start >=
                                   std::chrono::duration<double>(options.signal_after_seconds))) {
      for (size_t i = 0; i < pids.size(); ++i) {
        if (!done[i]) kill(pids[i], options.signal);
      }
      signalled = true;
    }
    for (size_t i = 0; i < pids.size(); ++i) {
      if (done[i]) continue;
      int status = 0;
      const bool late = std::chrono::steady_clock::now() > deadline;
      if (late) {
        kill(pids[i], SIGKILL);
        waitpid(pids[i], &status, 0);
        outcomes[i].timed_out = true;
      } else if (waitpid(pids[i], &status, WNOHANG) == 0) {
        continue;
      }
      outcomes[i].seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (!late && WIFEXITED(status)) outcomes[i].exit_status = WEXITSTATUS(status);
      if (WIFSIGNALED(status) && !late) outcomes[i].signal = WTERMSIG(status);
      done[i] = true;
      --left;
    }
    if (options.while_running) {
      options.while_running();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  for (size_t i = 0; i < pids.size(); ++i) outcomes[i].standard_error = ReadWholeFile(err_paths[i]);
  return outcomes;
}

Outcome RunOnce(const ProgramDir& dir, const RunOptions& options) {
  return RunTogether(dir, 1, options).at(0);
}

// ---------------------------------------------------------------------------------------------

namespace {

int ConnectUnix(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof(address.sun_path) - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

struct ProxyLink {
  int client = -1;
  int upstream = -1;
  size_t from_client = 0;
  bool stalled = false;
  bool slow = false;
  std::chrono::steady_clock::time_point next_read{};

  bool open() const { return client >= 0; }
  void Close() {
    close(client);
    close(upstream);
    client = upstream = -1;
  }
};

[[noreturn]] void Forward(int listener, const std::string& upstream, size_t cut_after,
                          CuttingProxy::Cut cut, pid_t scheduler, const std::string& mark) {
  // A slow reader takes 2 KB every 100 ms.
  constexpr size_t kSlowChunk = 2048;
  constexpr auto kSlowPause = std::chrono::milliseconds(100);
  std::vector<ProxyLink> links;
  for (;;) {
    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    std::vector<std::pair<size_t, bool>> owners{{0, false}};  // link, from the client
    bool any_slow = false;
    for (size_t i = 0; i < links.size(); ++i) {
      if (!links[i].open() || links[i].stalled) continue;
      any_slow = any_slow || links[i].slow;
      if (!links[i].slow || std::chrono::steady_clock::now() >= links[i].next_read) {
        fds.push_back({links[i].client, POLLIN, 0});
        owners.emplace_back(i, true);
      }
      fds.push_back({links[i].upstream, POLLIN, 0});
      owners.emplace_back(i, false);
    }
    if (poll(fds.data(), fds.size(), any_slow ? 20 : -1) < 0) continue;
    if (fds[0].revents & POLLIN) {
      const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        const int server = ConnectUnix(upstream);
        if (server < 0) {
          close(client);
        } else {
          links.push_back({client, server});
        }
      }
    }
    for (size_t k = 1; k < fds.size(); ++k) {
      if (fds[k].revents == 0) continue;
      ProxyLink& link = links[owners[k].first];
      if (!link.open() || link.stalled) continue;
      const bool from_client = owners[k].second;
      char buffer[65536];
      const size_t most = from_client && link.slow ? kSlowChunk : sizeof buffer;
      const ssize_t n = recv(fds[k].fd, buffer, most, 0);
      if (n <= 0) {
        link.Close();
        continue;
      }
      if (from_client) {
        link.from_client += static_cast<size_t>(n);
        if (link.slow) link.next_read = std::chrono::steady_clock::now() + kSlowPause;
        if (link.from_client > cut_after && cut == CuttingProxy::Cut::kSlowReader) {
          if (!link.slow) close(open(mark.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
          link.slow = true;
          link.next_read = std::chrono::steady_clock::now() + kSlowPause;
        } else if (link.from_client > cut_after) {
          close(open(mark.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
          if (cut == CuttingProxy::Cut::kStopReading) {
            link.stalled = true;
            continue;
          }
          if (cut == CuttingProxy::Cut::kKillScheduler && scheduler > 0) kill(scheduler, SIGKILL);
          link.Close();
          continue;
        }
      }
      if (!SendAll(from_client ? link.upstream : link.client,
                   std::string_view(buffer, static_cast<size_t>(n)))) {
        link.Close();
      }
    }
  }
}

}  // namespace

CuttingProxy::CuttingProxy(std::string path, std::string upstream, size_t cut_after, Cut cut,
                           pid_t scheduler)
    : path_(std::move(path)), server_(ListenOnUnixSocket(path_), [&](int listener) {
        Forward(listener, upstream, cut_after, cut, scheduler, path_ + ".cut");
      }) {}

CuttingProxy::~CuttingProxy() {
  unlink(path_.c_str());
  unlink((path_ + ".cut").c_str());
}

bool CuttingProxy::cut_made() const { return access((path_ + ".cut").c_str(), F_OK) == 0; }

// ---------------------------------------------------------------------------------------------

namespace {

// In the name server's process: its namespaces, files and socket. The socket, or -1 with
// `*problem` set.
int SetUpSilentNameServer(const std::string& dir, std::string* problem) {
  const auto failed = [&](const std::string& what) {
    *problem = what + ": " + strerror(errno);
    return -1;
  };
  if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) return failed("cannot make namespaces");
  // Nothing mounted here reaches the machine's mount namespace.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return failed("cannot make the mounts private");
  }
  for (const char* name : {"resolv.conf", "nsswitch.conf"}) {
    const std::string target = std::string("/etc/") + name;
    if (mount((dir + "/" + name).c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      return failed("cannot mount over " + target);
    }
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq loopback{};
  std::strncpy(loopback.ifr_name, "lo", IFNAMSIZ - 1);
  if (fd < 0 || ioctl(fd, SIOCGIFFLAGS, &loopback) != 0) return failed("cannot find the loopback");
  loopback.ifr_flags = static_cast<short>(loopback.ifr_flags | IFF_UP);
  if (ioctl(fd, SIOCSIFFLAGS, &loopback) != 0) return failed("cannot bring the loopback up");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(53);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    return failed("cannot listen on 127.0.0.1:53");
  }
  return fd;
}

}  // namespace

SilentNameServer::SilentNameServer(const std::string& resolver_options) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    problem_ = std::string("cannot prepare: ") + strerror(errno);
    return;
  }
  std::ofstream(dir_.File("resolv.conf"))
      << "nameserver 127.0.0.1\noptions " << resolver_options << "\n";
  std::ofstream(dir_.File("nsswitch.conf")) << "hosts: files dns\n";
  std::fflush(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    close(report[0]);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::string problem;
    const int fd = SetUpSilentNameServer(dir_.path(), &problem);
    // A short message: one write on a pipe.
    if (write(report[1], problem.data(), problem.size()) < 0) _exit(1);
    close(report[1]);
    if (fd < 0) _exit(1);
    char question[512];
    for (;;) {
      if (recv(fd, question, sizeof(question), 0) >= 0) {
        std::ofstream(dir_.File("questions"), std::ios::app) << "q";
      }
    }
  }
  close(report[1]);
  char text[256];
  ssize_t n = 0;
  while ((n = read(report[0], text, sizeof(text))) > 0) problem_.append(text, n);
  close(report[0]);
  if (pid_ < 0 || !problem_.empty()) {
    if (problem_.empty()) problem_ = "cannot fork";
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

SilentNameServer::~SilentNameServer() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

int SilentNameServer::questions() const {
  return static_cast<int>(ReadWholeFile(dir_.File("questions")).size());
}

// ---------------------------------------------------------------------------------------------

TmpfsMount::TmpfsMount(std::string directory, size_t bytes) : directory_(std::move(directory)) {
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", directory_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    problem_ = std::string("cannot mount a tmpfs: ") + strerror(errno);
    return;
  }
  mounted_ = true;
}

TmpfsMount::~TmpfsMount() {
  if (mounted_ && umount(directory_.c_str()) != 0) umount2(directory_.c_str(), MNT_DETACH);
}

bool FillFileSystem(const std::string& directory, const std::string& name, size_t leave) {
  const std::string path = directory + "/" + name;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string block(65536, 'x');
  off_t size = 0;
  bool full = false;
  for (;;) {
    const ssize_t n = write(fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      full = errno == ENOSPC;
      break;
    }
    size += n;
  }
  if (full && ftruncate(fd, size - static_cast<off_t>(std::min<size_t>(leave, size))) != 0) {
    full = false;
  }
  close(fd);
  return full;
}

bool ProcessRunning(pid_t pid) {
  if (kill(pid, 0) != 0) return false;
  std::istringstream stat(ReadWholeFile("/proc/" + std::to_string(pid) + "/stat"));
  std::string skip, state;
  stat >> skip >> skip >> state;
  return state != "Z" && state != "X";
}

}  // namespace tolv::testing
