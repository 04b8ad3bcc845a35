// Support for the fault tests: running the program under conditions a caller may meet (several
// runs at once, another user, a full disk, a scheduler that fails halfway through a job) and
// showing afterwards what a run left behind.
#ifndef TOLV_TESTS_INTEGRATION_SUPPORT_FAULT_SUPPORT_H_
#define TOLV_TESTS_INTEGRATION_SUPPORT_FAULT_SUPPORT_H_

#include <sys/types.h>
#include <time.h>

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "integration/support/program_run.h"
#include "support/local_server.h"
#include "support/temp_dir.h"

namespace tolv::testing {

// What a name in the file system held: kind, bytes and modification time. Equal states mean a
// run left the file alone (a rewrite with the same bytes still changes the time).
struct FileState {
  enum class Kind { kMissing, kFile, kLink, kDirectory, kOther };
  Kind kind = Kind::kMissing;
  std::string bytes;  // a file's content, or a link's target
  timespec mtime{};

  bool operator==(const FileState& other) const;
};
FileState StateOf(const std::string& path);
std::ostream& operator<<(std::ostream& out, const FileState& state);

// A path as the program's messages show it, for paths without quotes or control characters.
inline std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// The names in a directory, sorted ("." and ".." left out).
std::vector<std::string> NamesIn(const std::string& directory);

// A whole PDF: it starts as one, ends with its end-of-file marker, and pdfinfo reads it without a
// complaint (poppler silently rebuilds a cut file, so a page count alone proves nothing). The
// problem found, or "".
std::string PdfProblem(const std::string& path);

// The pages of a PDF rasterised in grey at `dpi` (pdftoppm's PGM output, all pages in a row).
std::string PdfRaster(const std::string& path, int dpi);
// Pixels dark in `with` and light in `without` (rasters of the same size): the ink that one
// difference between two runs put on the page. 0 when the rasters cannot be compared.
size_t AddedInk(const std::string& with, const std::string& without);

// A BMP picture of grey noise, 24 bits a pixel: it does not compress, so a document that shows
// it is as large as the picture, whatever the printer does with the rest of the page.
std::string NoisePicture(int width, int height);

struct RunOptions {
  // VAR=value settings over the defaults (the file printer on request: ChooseFilePrinterUnless).
  std::vector<std::string> env = {};
  // When set, the program runs as this user and group, without supplementary groups.
  bool as_other_user = false;
  uid_t uid = 65534;
  gid_t gid = 65534;
  // A run still going after this long is killed: a hang.
  int timeout_seconds = 60;
  // Called again and again while the runs go on (to look at what they write meanwhile).
  std::function<void()> while_running = {};
  // When not 0: sent to each run once `signal_after_seconds` have passed, or once `signal_when`
  // (when set) says so.
  int signal = 0;
  double signal_after_seconds = 0;
  std::function<bool()> signal_when = {};
  // The run starts with standard input, output and error closed (standard error is then not
  // captured).
  bool standard_descriptors_closed = false;
  // When not 0: the largest file the run may write (RLIMIT_FSIZE), in bytes.
  long long file_size_limit = 0;
  // When not 0: the address space the run may take (RLIMIT_AS), in bytes.
  long long memory_limit = 0;
  // When not 0: the run joins this process's network and mount namespaces (a SilentNameServer's).
  pid_t namespaces_of = 0;
};

struct Outcome {
  int exit_status = -1;  // -1 when it ended by a signal or was killed at the time-out
  int signal = 0;
  bool timed_out = false;
  std::string standard_error;
  double seconds = 0;  // from the start to the end, for the report
};
std::ostream& operator<<(std::ostream& out, const Outcome& outcome);

// Runs the program in `dir` `count` times at the same moment: every copy is forked and waits at
// one gate, which opens when all of them are ready. Standard error goes to files outside `dir`,
// so that what the runs leave in it is theirs alone.
std::vector<Outcome> RunTogether(const ProgramDir& dir, int count, const RunOptions& options = {});
Outcome RunOnce(const ProgramDir& dir, const RunOptions& options = {});

// A scheduler's socket seen through a forwarding process. Each connection made to `path` is
// passed on to the scheduler at `upstream`, both ways, until one connection has carried more than
// `cut_after` bytes from its client (only a document is that big); then `cut` happens to it.
class CuttingProxy {
 public:
  enum class Cut {
    kHangUp,         // both ends closed: the connection is lost
    kStopReading,    // the connection stays open and nothing more is read or answered
    kKillScheduler,  // the scheduler process is killed, then both ends closed
    kSlowReader,     // from then on the client's bytes are taken at 20 KB a second
  };
  CuttingProxy(std::string path, std::string upstream, size_t cut_after, Cut cut,
               pid_t scheduler = 0);
  ~CuttingProxy();
  CuttingProxy(const CuttingProxy&) = delete;
  CuttingProxy& operator=(const CuttingProxy&) = delete;

  bool listening() const { return server_.running(); }
  const std::string& path() const { return path_; }
  // Whether a connection has been cut (the proxy leaves a mark beside its socket).
  bool cut_made() const;

 private:
  std::string path_;
  ServerProcess server_;
};

// A name server that reads every question and never answers. It runs in network and mount
// namespaces of its own (a run joins them through RunOptions::namespaces_of): on 127.0.0.1:53 of
// its network, which has only the loopback, and with /etc/resolv.conf naming it (with
// `resolver_options`, e.g. "timeout:30 attempts:5") and /etc/nsswitch.conf sending host names to
// it, bound over the machine's files in its mount namespace only. Needs root; `problem()` says why
// it is not running.
class SilentNameServer {
 public:
  explicit SilentNameServer(const std::string& resolver_options);
  ~SilentNameServer();
  SilentNameServer(const SilentNameServer&) = delete;
  SilentNameServer& operator=(const SilentNameServer&) = delete;

  bool running() const { return pid_ > 0; }
  const std::string& problem() const { return problem_; }
  pid_t pid() const { return pid_; }
  // Questions it has read so far.
  int questions() const;

 private:
  ScratchDir dir_{"tolv-names"};  // its resolv.conf and nsswitch.conf, a mark for each question
  pid_t pid_ = -1;
  std::string problem_;
};

// A small tmpfs mounted on `directory` (which stays), unmounted on destruction. Needs the right to
// mount (root outside a restricted container); `problem()` says why it is not mounted.
class TmpfsMount {
 public:
  TmpfsMount(std::string directory, size_t bytes);
  ~TmpfsMount();
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& problem() const { return problem_; }

 private:
  std::string directory_;
  bool mounted_ = false;
  std::string problem_;
};

// Fills the file system of `directory` with the file `name` until no block is free, then gives
// `leave` bytes back. False when the file system did not fill up.
bool FillFileSystem(const std::string& directory, const std::string& name, size_t leave);

// Alive and not a zombie waiting for whoever adopted it.
bool ProcessRunning(pid_t pid);

}  // namespace tolv::testing

#endif  // TOLV_TESTS_INTEGRATION_SUPPORT_FAULT_SUPPORT_H_
