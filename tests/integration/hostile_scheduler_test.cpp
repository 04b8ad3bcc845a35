// A hostile or careless printing setup: only "there is no printer" means the file printer; every
// other failure of the scheduler, however it fails, ends the run within one deadline with the
// document kept, one line naming the cause and exit status 2. Answers a real scheduler cannot be
// made to give come from a fake one (support/fake_scheduler.h), a name server that never answers
// from one in namespaces of its own (support/fault_support.h); a slow reader in front of the
// private scheduler shows that a job cut off at the deadline is cancelled.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "integration/support/fake_scheduler.h"
#include "integration/support/fault_support.h"
#include "integration/support/held.h"
#include "integration/support/program_run.h"
#include "support/cups_harness.h"
#include "support/local_server.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

// The deadline of the hand-over, and what a run may take beyond it on a loaded machine.
constexpr double kDeadlineSeconds = 30;
constexpr double kSlackSeconds = 15;
// A failure that needs no waiting ends well within this.
constexpr double kQuickSeconds = 10;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// One line, named after the program, ending with where the document was kept.
void ExpectKeptWithOneLine(const ProgramDir& dir, const Outcome& run) {
  EXPECT_EQ(run.exit_status, 2) << run;
  EXPECT_EQ(run.standard_error.rfind("tolv: ", 0), 0u) << run.standard_error;
  EXPECT_EQ(std::count(run.standard_error.begin(), run.standard_error.end(), '\n'), 1)
      << run.standard_error;
  EXPECT_TRUE(
      Contains(run.standard_error, "; the document is held as \"" + HeldDocumentOf(dir) + "\""))
      << run.standard_error;
  EXPECT_EQ(PdfProblem(HeldDocumentOf(dir)), "");
  const std::vector<Word> words = PdfWords(HeldDocumentOf(dir));
  EXPECT_EQ(
      std::count_if(words.begin(), words.end(), [](const Word& w) { return w.text == "Smith"; }),
      2);
}

void WriteGridJob(const ProgramDir& dir) { dir.WriteJob(1, 3, 25, 25, {{0, "Smith|Sofia"}}); }

// A unix socket file that nobody listens on any more, as a scheduler that died leaves it.
bool MakeStaleSocket(const std::string& path) {
  const int fd = ListenOnUnixSocket(path);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

// The run's printing settings: a home and client configuration of the test's own (so nothing of
// the machine's lpoptions or client.conf counts), and `more`.
std::vector<std::string> Settings(const ProgramDir& dir, std::vector<std::string> more) {
  fs::create_directories(dir.File("home/.cups"));
  fs::create_directories(dir.File("client"));
  more.push_back("HOME=" + dir.File("home"));
  more.push_back("CUPS_SERVERROOT=" + dir.File("client"));
  return more;
}

struct ChoiceCase {
  std::string name;
  // The run's settings, given the program directory and the fake scheduler's address.
  std::function<std::vector<std::string>(const ProgramDir&, const std::string&)> settings;
  FakeScheduler::Answer answer = FakeScheduler::Answer::kIppStatus;
  int code = 0x0406;  // client-error-not-found
  int exit_status = 2;
  std::string line_part;  // "" for a silent run
};

TEST(ChoosingThePrinterTest, OnlyNoPrinterAtAllMeansTheFilePrinter) {
  const auto fake = [](std::vector<std::string> more) {
    return [more](const ProgramDir& dir, const std::string& address) {
      std::vector<std::string> settings = Settings(dir, more);
      settings.push_back("CUPS_SERVER=" + address);
      return settings;
    };
  };
  const auto without_fake = [](std::vector<std::string> more) {
    return [more](const ProgramDir& dir, const std::string&) { return Settings(dir, more); };
  };
  const int closed = ClosedPort();
  const std::vector<ChoiceCase> cases = {
      {"the file printer on request",
       without_fake({"TOLV_PRINTER=file", "CUPS_SERVER=/nowhere"}),
       {},
       0,
       0,
       ""},
      {"a scheduler without a default queue", fake({}), {}, 0x0406, 0, ""},
      {"a default named by LPDEST that does not exist",
       fake({"LPDEST=Ghost"}),
       {},
       0x0406,
       2,
       "the default printer Ghost does not exist (named by LPDEST)"},
      {"a default named by PRINTER that does not exist",
       fake({"PRINTER=Ghost/copy"}),
       {},
       0x0406,
       2,
       "the default printer Ghost/copy does not exist (named by PRINTER)"},
      {"a named server that refuses",
       without_fake({"CUPS_SERVER=127.0.0.1:" + std::to_string(closed)}),
       {},
       0,
       2,
       "the print server 127.0.0.1 named by CUPS_SERVER refuses connections (Connection refused)"},
      {"a named server that cannot be found",
       without_fake({"CUPS_SERVER=tolv-absent.invalid"}),
       {},
       0,
       2,
       "the print server tolv-absent.invalid could not be found ("},
      {"HTTP 401", fake({}), FakeScheduler::Answer::kHttpStatus, 401, 2,
       "answered HTTP 401: authorization required"},
      {"HTTP 403", fake({}), FakeScheduler::Answer::kHttpStatus, 403, 2,
       "answered HTTP 403 Forbidden"},
      {"HTTP 500", fake({}), FakeScheduler::Answer::kHttpStatus, 500, 2,
       "answered HTTP 500 Internal Server Error"},
      {"HTTP 400", fake({}), FakeScheduler::Answer::kHttpStatus, 400, 2,
       "answered HTTP 400 Bad Request"},
      {"IPP internal error", fake({}), {}, 0x0500, 2, "answered server-error-internal-error"},
      {"IPP busy", fake({}), {}, 0x0507, 2, "answered server-error-busy"},
      {"HTTP 503", fake({}), FakeScheduler::Answer::kHttpStatus, 503, 2,
       "answered HTTP 503 Service Unavailable"},
      {"IPP forbidden", fake({}), {}, 0x0401, 2, "answered client-error-forbidden"},
      {"IPP not authorized", fake({}), {}, 0x0403, 2, "answered client-error-not-authorized"},
      {"IPP bad request", fake({}), {}, 0x0400, 2, "answered client-error-bad-request"},
  };
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const FakeScheduler scheduler(c.answer, c.code);
    ASSERT_TRUE(scheduler.listening());
    ProgramDir dir;
    WriteGridJob(dir);
    const Outcome run = RunOnce(dir, {.env = c.settings(dir, scheduler.address())});
    EXPECT_LT(run.seconds, kQuickSeconds) << run;
    if (c.exit_status == 0) {
      EXPECT_EQ(run.exit_status, 0) << run;
      EXPECT_EQ(run.standard_error, "");
      EXPECT_EQ(PdfProblem(dir.File("ZOBAX.PDF")), "");
      continue;
    }
    ExpectKeptWithOneLine(dir, run);
    EXPECT_TRUE(Contains(run.standard_error, c.line_part)) << run.standard_error;
  }
}

TEST(ChoosingThePrinterTest, ServersAndDefaultsNamedInConfigurationFilesCountAsNamed) {
  const FakeScheduler scheduler(FakeScheduler::Answer::kIppStatus, 0x0406);
  ASSERT_TRUE(scheduler.listening());
  {
    SCOPED_TRACE("ServerName in client.conf");
    ProgramDir dir;
    WriteGridJob(dir);
    // No CUPS_SERVER: the run looks for a scheduler where client.conf says.
    const std::vector<std::string> env = Settings(dir, {"TOLV_PRINTER="});
    std::ofstream(dir.File("client/client.conf"))
        << "ServerName 127.0.0.1:" << ClosedPort() << "\n";
    const Outcome run = RunOnce(dir, {.env = env});
    ExpectKeptWithOneLine(dir, run);
    EXPECT_TRUE(Contains(run.standard_error,
                         "named by " + dir.File("client/client.conf") + " refuses connections"))
        << run.standard_error;
  }
  {
    SCOPED_TRACE("a Default in lpoptions");
    ProgramDir dir;
    WriteGridJob(dir);
    const std::vector<std::string> env = Settings(dir, {"CUPS_SERVER=" + scheduler.address()});
    std::ofstream(dir.File("home/.cups/lpoptions")) << "Default Phantom\n";
    const Outcome run = RunOnce(dir, {.env = env});
    ExpectKeptWithOneLine(dir, run);
    EXPECT_TRUE(
        Contains(run.standard_error, "the default printer Phantom does not exist (named by " +
                                         dir.File("home/.cups/lpoptions") + ")"))
        << run.standard_error;
  }
}

// No server named and nothing at the default local address: the machine has no printer. The
// default address is the scheduler's socket when it exists, else localhost at IPP_PORT.
TEST(ChoosingThePrinterTest, NoSchedulerAtTheDefaultAddressIsTheFilePrinterSilently) {
  for (const char* socket : {"/run/cups/cups.sock", "/var/run/cups/cups.sock"}) {
    if (access(socket, F_OK) == 0) GTEST_SKIP() << "this machine runs a scheduler at " << socket;
  }
  ProgramDir dir;
  WriteGridJob(dir);
  const Outcome run = RunOnce(
      dir, {.env = Settings(dir, {"TOLV_PRINTER=", "IPP_PORT=" + std::to_string(ClosedPort())})});
  EXPECT_EQ(run.exit_status, 0) << run;
  EXPECT_EQ(run.standard_error, "");
  EXPECT_EQ(PdfProblem(dir.File("ZOBAX.PDF")), "");
}

TEST(ChoosingThePrinterTest, AStaleSocketNamedByTheUserIsAFailureNotAMissingPrinter) {
  ProgramDir dir;
  WriteGridJob(dir);
  ASSERT_TRUE(MakeStaleSocket(dir.File("stale.sock")));
  const Outcome run =
      RunOnce(dir, {.env = Settings(dir, {"CUPS_SERVER=" + dir.File("stale.sock")})});
  ExpectKeptWithOneLine(dir, run);
  EXPECT_TRUE(Contains(run.standard_error, "named by CUPS_SERVER refuses connections"))
      << run.standard_error;
}

// ---------------------------------------------------------------------------------------------
// One deadline, whatever the scheduler does. Each case is a test of its own, so that ctest runs
// them side by side.

struct DeadlineCase {
  const char* name;
  FakeScheduler::Answer answer;
  int code;
};

void PrintTo(const DeadlineCase& c, std::ostream* out) { *out << c.name; }

class DeadlineTest : public ::testing::TestWithParam<DeadlineCase> {};

TEST_P(DeadlineTest, EndsTheRunAtTheDeadlineWithTheDocumentKept) {
  const FakeScheduler scheduler(GetParam().answer, GetParam().code);
  ASSERT_TRUE(scheduler.listening());
  ProgramDir dir;
  WriteGridJob(dir);
  const Outcome run = RunOnce(
      dir, {.env = Settings(dir, {"CUPS_SERVER=" + scheduler.address()}), .timeout_seconds = 120});
  std::cout << "[ measured ] " << GetParam().name << ": " << run.seconds << " s\n";
  EXPECT_FALSE(run.timed_out);
  EXPECT_LT(run.seconds, kDeadlineSeconds + kSlackSeconds) << run;
  ExpectKeptWithOneLine(dir, run);
  EXPECT_TRUE(Contains(run.standard_error,
                       "asking the print server 127.0.0.1 for the default printer did not end "
                       "within the 30 seconds allowed"))
      << run.standard_error;
}

INSTANTIATE_TEST_SUITE_P(
    HostileAnswers, DeadlineTest,
    ::testing::Values(DeadlineCase{"Trickle", FakeScheduler::Answer::kTrickle, 0},
                      DeadlineCase{"EndlessHeader", FakeScheduler::Answer::kEndlessHeader, 0}),
    [](const ::testing::TestParamInfo<DeadlineCase>& info) { return info.param.name; });

// A scheduler that works until the job's requests, and from one of them on answers "busy". libcups
// takes a refused Create-Job or Send-Document at its word, but retries a Get-Printer-Attributes
// answered server-error-busy ten times with sleeps between (31 seconds in all), which its own way
// of cancelling a job asks first: the job made is cancelled with a plain Cancel-Job instead, and
// the line says whether that worked.

constexpr int kCreateJob = 0x0005;
constexpr int kSendDocument = 0x0006;
constexpr int kCancelJob = 0x0008;

struct BusyCase {
  const char* name;
  FakeScheduler::Answer answer;
  int code;
  int busy_from;  // the first request answered "busy"
  const char* line_part;
  int last_request;  // nothing after a refused Create-Job; a Cancel-Job for a job made
};

void PrintTo(const BusyCase& c, std::ostream* out) { *out << c.name; }

class BusyJobTest : public ::testing::TestWithParam<BusyCase> {};

TEST_P(BusyJobTest, KeepsTheDocumentAndAsksToCancelAJobItMade) {
  const BusyCase& c = GetParam();
  const FakeScheduler scheduler(c.answer, c.code, c.busy_from);
  ASSERT_TRUE(scheduler.listening());
  ProgramDir dir;
  WriteGridJob(dir);
  const Outcome run = RunOnce(
      dir, {.env = Settings(dir, {"CUPS_SERVER=" + scheduler.address()}), .timeout_seconds = 120});
  std::cout << "[ measured ] " << c.name << ": " << run.seconds << " s\n";
  EXPECT_FALSE(run.timed_out);
  EXPECT_LT(run.seconds, kDeadlineSeconds + kSlackSeconds) << run;
  ExpectKeptWithOneLine(dir, run);
  EXPECT_TRUE(Contains(run.standard_error, std::string("printing on ") + FakeScheduler::kQueue +
                                               " failed: " + c.line_part))
      << run.standard_error;
  const std::vector<int> requests = scheduler.operations();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), kCreateJob), 1);
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back(), c.last_request);
}

INSTANTIATE_TEST_SUITE_P(
    BusyScheduler, BusyJobTest,
    ::testing::Values(
        BusyCase{"CreateJobServerErrorBusy", FakeScheduler::Answer::kIppStatus, 0x0507, kCreateJob,
                 "the print server 127.0.0.1 answered server-error-busy", kCreateJob},
        BusyCase{"CreateJobHttp503", FakeScheduler::Answer::kHttpStatus, 503, kCreateJob,
                 "the print server 127.0.0.1 answered HTTP 503 Service Unavailable", kCreateJob},
        // The document is refused, and the Cancel-Job after it is answered "busy" too.
        BusyCase{"DocumentServerErrorBusy", FakeScheduler::Answer::kIppStatus, 0x0507,
                 kSendDocument,
                 "the print server 127.0.0.1 answered server-error-busy (its job 1 could not be "
                 "cancelled)",
                 kCancelJob},
        BusyCase{"DocumentHttp503", FakeScheduler::Answer::kHttpStatus, 503, kSendDocument,
                 "the print server 127.0.0.1 answered HTTP 503 Service Unavailable (its job 1 "
                 "could not be cancelled)",
                 kCancelJob}),
    [](const ::testing::TestParamInfo<BusyCase>& info) { return info.param.name; });

// A server named by its host name, and a name server that never answers: the resolver waits for
// it as resolv.conf says, and the deadline ends a wait longer than itself. The run is in the name
// server's namespaces (support/fault_support.h), so the machine's own resolver is not touched.

constexpr char kUnansweredServer[] = "printers.tolv-test.example";

struct NameServerCase {
  const char* name;
  const char* resolver_options;
  bool in_client_conf;  // the server named by ServerName in client.conf, else by CUPS_SERVER
  bool ends_at_deadline;
  std::string line_part;
};

void PrintTo(const NameServerCase& c, std::ostream* out) { *out << c.name; }

class SilentNameServerTest : public ::testing::TestWithParam<NameServerCase> {};

TEST_P(SilentNameServerTest, EndsTheLookUpWithTheDocumentKept) {
  const NameServerCase& c = GetParam();
  const SilentNameServer names(c.resolver_options);
  if (!names.running()) GTEST_SKIP() << "no name server of the test's own: " << names.problem();
  ProgramDir dir;
  WriteGridJob(dir);
  std::vector<std::string> env = Settings(dir, {"TOLV_PRINTER="});
  const std::string server = std::string(kUnansweredServer) + ":631";
  if (c.in_client_conf) {
    std::ofstream(dir.File("client/client.conf")) << "ServerName " << server << "\n";
  } else {
    env.push_back("CUPS_SERVER=" + server);
  }
  const Outcome run =
      RunOnce(dir, {.env = env, .timeout_seconds = 120, .namespaces_of = names.pid()});
  std::cout << "[ measured ] " << c.name << ": " << run.seconds << " s\n";
  EXPECT_FALSE(run.timed_out);
  EXPECT_LT(run.seconds, kDeadlineSeconds + kSlackSeconds) << run;
  // Only the deadline ends a look-up the resolver would go on with.
  if (c.ends_at_deadline) {
    EXPECT_GE(run.seconds, kDeadlineSeconds) << run;
  }
  ExpectKeptWithOneLine(dir, run);
  EXPECT_TRUE(Contains(run.standard_error, c.line_part)) << run.standard_error;
  EXPECT_GT(names.questions(), 0) << "the name server was never asked";
}

INSTANTIATE_TEST_SUITE_P(
    UnansweredLookUp, SilentNameServerTest,
    ::testing::Values(
        // Five tries of 30 seconds.
        NameServerCase{"ResolverOutwaitsTheDeadline", "timeout:30 attempts:5", true, true,
                       "connecting to the print server " + std::string(kUnansweredServer) +
                           " did not end within the 30 seconds allowed"},
        // One try of a second: the resolver gives up, which is a failure, not "no printer".
        NameServerCase{"ResolverGivesUp", "timeout:1 attempts:1", false, false,
                       "the print server " + std::string(kUnansweredServer) +
                           " could not be found (Temporary failure in name resolution) (named by "
                           "CUPS_SERVER)"}),
    [](const ::testing::TestParamInfo<NameServerCase>& info) { return info.param.name; });

TEST(StopSignalTest, EachStopSignalEndsTheRunAtOnceWithTheDocumentKept) {
  const FakeScheduler scheduler(FakeScheduler::Answer::kTrickle);
  ASSERT_TRUE(scheduler.listening());
  for (const auto& [signal_number, name] :
       std::map<int, std::string>{{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}}) {
    SCOPED_TRACE(name);
    ProgramDir dir;
    WriteGridJob(dir);
    const Outcome run = RunOnce(dir, {.env = Settings(dir, {"CUPS_SERVER=" + scheduler.address()}),
                                      .signal = signal_number,
                                      .signal_after_seconds = 2});
    EXPECT_LT(run.seconds, kQuickSeconds) << run;
    ExpectKeptWithOneLine(dir, run);
    EXPECT_TRUE(Contains(run.standard_error, "the run was ended by " + name +
                                                 " while asking the print server 127.0.0.1"))
        << run.standard_error;
  }
}

// ---------------------------------------------------------------------------------------------
// The process itself: closed standard descriptors, a file size limit.

TEST(ProcessGuardTest, ClosedStandardDescriptorsDoNotEndUpInTheDocument) {
  ProgramDir dir;
  WriteGridJob(dir);
  // A named server that refuses: the run writes its line on a closed standard error.
  const Outcome run =
      RunOnce(dir, {.env = Settings(dir, {"CUPS_SERVER=127.0.0.1:" + std::to_string(ClosedPort())}),
                    .standard_descriptors_closed = true});
  EXPECT_EQ(run.exit_status, 2) << run;
  const std::string held = HeldDocumentOf(dir);
  EXPECT_EQ(PdfProblem(held), "");
  EXPECT_EQ(ReadWholeFile(held).find("tolv:"), std::string::npos);
}

TEST(ProcessGuardTest, LibraryMessagesNeverReachStandardError) {
  ProgramDir dir;
  WriteGridJob(dir);
  // Fontconfig complains on standard error about a configuration it cannot load.
  const Outcome run = RunOnce(
      dir, {.env = Settings(dir, {"FONTCONFIG_FILE=/nonexistent/fonts.conf",
                                  "CUPS_SERVER=127.0.0.1:" + std::to_string(ClosedPort())})});
  EXPECT_EQ(run.exit_status, 2) << run;
  EXPECT_EQ(std::count(run.standard_error.begin(), run.standard_error.end(), '\n'), 1)
      << run.standard_error;
  EXPECT_EQ(run.standard_error.rfind("tolv: ", 0), 0u) << run.standard_error;
}

// A machine without a single font draws every character as nothing: such a page is kept, not
// handed over as right, whether the text goes straight to the printer (output mode 3) or into the
// composed picture first (output mode 0).
TEST(NoFontTest, APageWhoseTextHasNoGlyphIsKeptNotHandedOver) {
  for (int paper_type : {3, 0}) {
    SCOPED_TRACE("output mode " + std::to_string(paper_type));
    ProgramDir dir;
    dir.WriteJob(1, paper_type, 25, 25, {{0, "Smith|Sofia"}});
    if (paper_type == 0) {
      const std::string exe = ProgramPath();
      fs::copy_file(fs::path(exe).parent_path() / "forms" / "KORDEL1A.GFX",
                    dir.File("KORDEL1A.GFX"));
    }
    dir.Write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" + dir.File("fc") +
                                "</cachedir></fontconfig>\n");
    const Outcome run = RunOnce(dir, {.env = {"FONTCONFIG_FILE=" + dir.File("fonts.conf")}});
    EXPECT_EQ(run.exit_status, 2) << run;
    EXPECT_TRUE(Contains(run.standard_error, "no font available for \"DejaVu Sans\"")) << run;
    EXPECT_EQ(std::count(run.standard_error.begin(), run.standard_error.end(), '\n'), 1) << run;
    EXPECT_EQ(PdfProblem(HeldDocumentOf(dir)), "");
  }
  // One character that no font has, among text that shows, is printed as the missing-glyph box.
  ProgramDir dir;
  dir.Write("ZOBAX.QJT",
            "\xEF\xBB\xBF[BLANK]\nValue=5\n[PAPERTYPE]\nValue=3\n[FONT]\nValue=DejaVu Sans\n"
            "[INFO]\nROW03=|AB\xF0\x90\x8C\xB0|\nLEN03=5\n");
  const Outcome run = RunOnce(dir, {});
  EXPECT_EQ(run.exit_status, 0) << run;
  EXPECT_EQ(run.standard_error, "");
  EXPECT_EQ(PdfProblem(dir.File("ZOBAX.PDF")), "");
}

// Form files that would hold a reader up for ever, or read without end: the page is printed
// without them, at once.
TEST(HostileFormFilesTest, PipesAndEndlessFilesInTheFormsPlaceAreNotWaitedOn) {
  for (int paper_type : {0, 2}) {
    SCOPED_TRACE("output mode " + std::to_string(paper_type));
    ProgramDir dir;
    dir.WriteJob(1, paper_type, 25, 25, {{0, "Smith|Sofia"}});
    ASSERT_EQ(mkfifo(dir.File("KORDEL1A.GFX").c_str(), 0644), 0);
    if (access("/proc/kmsg", R_OK) == 0) {
      fs::create_symlink("/proc/kmsg", dir.File("KORDEL1A.DAT"));
    } else {
      ASSERT_EQ(mkfifo(dir.File("KORDEL1A.DAT").c_str(), 0644), 0);
    }
    const Outcome run = RunOnce(dir, {.timeout_seconds = 30});
    EXPECT_EQ(run.exit_status, 0) << run;
    EXPECT_LT(run.seconds, kQuickSeconds) << run;
    EXPECT_EQ(PdfProblem(dir.File("ZOBAX.PDF")), "");
  }
}

TEST(ProcessGuardTest, AFileSizeLimitIsAWriteErrorWithNoTemporaryFileLeft) {
  ProgramDir dir;
  WriteGridJob(dir);
  const std::vector<std::string> before = NamesIn(dir.path());
  const Outcome run = RunOnce(dir, {.file_size_limit = 1024});
  EXPECT_EQ(run.exit_status, 2) << run;
  EXPECT_EQ(run.signal, 0) << run;
  EXPECT_TRUE(Contains(run.standard_error, "File too large")) << run.standard_error;
  EXPECT_EQ(NamesIn(dir.path()), before);
}

// Memory that runs out anywhere (in the program, GLib, fontconfig or Cairo) ends the run with one
// line and status 2; a run with room prints the whole page. Never a crash, an abort, or a page
// handed over without its picture.
TEST(ProcessGuardTest, MemoryRunningOutAnywhereEndsWithOneLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's shadow memory does not fit under an address-space limit";
#else
  ProgramDir dir;
  dir.WriteJob(7, 0, 25, 25, {{0, "Smith|Sofia"}});  // composed with its picture
  dir.Write("KORDEL7A.GFX", NoisePicture(1500, 1500));
  const Outcome unlimited = RunOnce(dir);
  ASSERT_EQ(unlimited.exit_status, 0) << unlimited;
  const auto whole_size = fs::file_size(dir.File("ZOBAX.PDF"));
  int failed = 0, printed = 0;
  for (long long megabytes = 40; megabytes <= 220; megabytes += 10) {
    SCOPED_TRACE(std::to_string(megabytes) + " MB");
    fs::remove(dir.File("ZOBAX.PDF"));
    const Outcome run = RunOnce(dir, {.memory_limit = megabytes << 20});
    ASSERT_EQ(run.signal, 0) << run;
    if (run.exit_status == 0) {
      ++printed;
      const auto size = fs::file_size(dir.File("ZOBAX.PDF"));
      EXPECT_GT(size, whole_size * 9 / 10);  // the picture is in it
      EXPECT_LT(size, whole_size * 11 / 10);
    } else {
      ++failed;
      EXPECT_EQ(run.exit_status, 2) << run;
      EXPECT_EQ(run.standard_error.rfind("tolv: ", 0), 0u) << run.standard_error;
      EXPECT_EQ(std::count(run.standard_error.begin(), run.standard_error.end(), '\n'), 1)
          << run.standard_error;
    }
  }
  EXPECT_GT(failed, 0);
  EXPECT_GT(printed, 0);
#endif
}

// ---------------------------------------------------------------------------------------------
// The private scheduler behind a reader that takes the document at 20 KB a second.

class SlowReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scheduler_ = std::make_unique<PrivateCupsScheduler>();
    if (!scheduler_->skip_reason().empty()) GTEST_SKIP() << scheduler_->skip_reason();
    ASSERT_TRUE(scheduler_->started()) << scheduler_->problem();
  }

  std::vector<std::string> Through(const std::string& socket) const {
    std::vector<std::string> settings;
    for (const auto& [name, value] : scheduler_->environment()) {
      settings.push_back(name + "=" + (name == "CUPS_SERVER" ? socket : value));
    }
    return settings;
  }

  std::string Jobs(const std::string& which) const {
    const std::string listing = scheduler_->dir() + "/jobs.txt";
    EXPECT_EQ(scheduler_->Run("lpstat -W " + which + " -o >" + listing), 0);
    return ReadWholeFile(listing);
  }

  // A job whose document is large: the composed page over a picture of noise (over 3 MB, two
  // and a half minutes at 20 KB a second).
  static void WriteLargeJob(const ProgramDir& dir) {
    dir.Write("KORDEL1A.GFX", NoisePicture(2087, 1577));
    dir.WriteJob(1, 0, 25, 25, {{0, "Smith|Sofia"}});
  }

  // The document kept is whole (its text is part of the composed picture).
  static void ExpectKeptWithOneLine(const ProgramDir& dir, const Outcome& run) {
    EXPECT_EQ(run.exit_status, 2) << run;
    EXPECT_EQ(std::count(run.standard_error.begin(), run.standard_error.end(), '\n'), 1)
        << run.standard_error;
    EXPECT_TRUE(
        Contains(run.standard_error, "; the document is held as \"" + HeldDocumentOf(dir) + "\""))
        << run.standard_error;
    EXPECT_EQ(PdfProblem(HeldDocumentOf(dir)), "");
  }

  std::unique_ptr<PrivateCupsScheduler> scheduler_;
};

// Slow once a connection has carried this much from the program: only a document is that large.
constexpr size_t kSlowInTheDocument = 64 * 1024;

TEST_F(SlowReaderTest, TheDeadlineCancelsTheJobAndKeepsTheDocument) {
  ProgramDir dir;
  WriteLargeJob(dir);
  const CuttingProxy proxy(dir.File("slow.sock"), scheduler_->socket(), kSlowInTheDocument,
                           CuttingProxy::Cut::kSlowReader);
  ASSERT_TRUE(proxy.listening());
  const Outcome run = RunOnce(dir, {.env = Through(proxy.path()), .timeout_seconds = 120});
  std::cout << "[ measured ] a reader at 20 KB/s: " << run.seconds << " s\n";
  EXPECT_LT(run.seconds, kDeadlineSeconds + kSlackSeconds) << run;
  ExpectKeptWithOneLine(dir, run);
  EXPECT_TRUE(Contains(run.standard_error,
                       "failed: sending the document to the print server " + proxy.path() +
                           " did not end within the 30 seconds allowed (its job 1 was cancelled)"))
      << run.standard_error;
  EXPECT_EQ(Jobs("not-completed"), "") << "a half-sent job is left on the scheduler";
  EXPECT_NE(Jobs("completed"), "");
}

TEST_F(SlowReaderTest, SigtermWhileTheDocumentGoesOutCancelsTheJob) {
  ProgramDir dir;
  WriteLargeJob(dir);
  const CuttingProxy proxy(dir.File("slow.sock"), scheduler_->socket(), kSlowInTheDocument,
                           CuttingProxy::Cut::kSlowReader);
  ASSERT_TRUE(proxy.listening());
  // The signal comes while the document goes out.
  const Outcome run =
      RunOnce(dir, {.env = Through(proxy.path()), .signal = SIGTERM, .signal_when = [&] {
                      return proxy.cut_made();
                    }});
  EXPECT_TRUE(proxy.cut_made());
  EXPECT_LT(run.seconds, kDeadlineSeconds) << run;
  ExpectKeptWithOneLine(dir, run);
  EXPECT_TRUE(Contains(run.standard_error,
                       "the run was ended by SIGTERM while sending the document to the print "
                       "server " +
                           proxy.path() + " (its job 1 was cancelled)"))
      << run.standard_error;
  EXPECT_EQ(Jobs("not-completed"), "") << "a half-sent job is left on the scheduler";
}

}  // namespace
}  // namespace tolv::testing
