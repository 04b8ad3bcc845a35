// Finding the default printer and handing it a document, against no scheduler, a scheduler that
// never answers, and a private scheduler with a virtual printer. Each scenario runs in a child
// process with its own environment, as the program would.
#include "platform/cups/cups_destination.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "destination/file_printer.h"
#include "destination/held_documents.h"
#include "platform/posix/atomic_file.h"
#include "support/cups_harness.h"
#include "support/local_server.h"
#include "support/temp_dir.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;
using testing::ClosedPort;
using testing::PrivateCupsScheduler;
using testing::ReadWholeFile;
using testing::RunInChild;
using testing::SilentServer;

using Environment = std::vector<std::pair<std::string, std::string>>;

// What a child saw: which destination was chosen, its device, and how the hand-over went.
struct Outcome {
  std::string kind;    // "file", "failed" or "cups"
  std::string detail;  // the queue, or the cause the failed printer will give
  PrinterDevice device;
  bool ok = false;
  std::string message;
};

std::string Serialize(const Destination& outer, const HandOverResult& result) {
  const auto* stoppable = dynamic_cast<const StoppableDestination*>(&outer);
  const Destination& destination = stoppable != nullptr ? stoppable->inner() : outer;
  std::ostringstream out;
  if (dynamic_cast<const FileDestination*>(&destination) != nullptr) {
    out << "file\n\n";
  } else if (auto* failed = dynamic_cast<const FailedPrinterDestination*>(&destination)) {
    out << "failed\n" << failed->cause() << "\n";
  } else if (auto* cups = dynamic_cast<const CupsDestination*>(&destination)) {
    out << "cups\n" << cups->queue() << "\n";
  } else {
    out << "unknown\n\n";
  }
  const PrinterDevice& d = destination.Device();
  out.precision(17);
  out << d.dpi_x << " " << d.dpi_y << " " << d.page_width_pt << " " << d.page_height_pt << " "
      << d.printable_left_px << " " << d.printable_top_px << " " << d.printable_width_px << " "
      << d.printable_height_px << " " << d.media << "\n"
      << result.ok << "\n"
      << result.message;
  return out.str();
}

Outcome Parse(const std::string& text) {
  std::istringstream in(text);
  Outcome outcome;
  std::getline(in, outcome.kind);
  std::getline(in, outcome.detail);
  PrinterDevice& d = outcome.device;
  in >> d.dpi_x >> d.dpi_y >> d.page_width_pt >> d.page_height_pt >> d.printable_left_px >>
      d.printable_top_px >> d.printable_width_px >> d.printable_height_px >> d.media >> outcome.ok;
  in.ignore(1);
  std::getline(in, outcome.message, '\0');
  return outcome;
}

// Opens the default destination in a child with `environment` (and nothing of the machine's
// printing setup), runs `between`, then hands `pdf` over.
std::optional<Outcome> OpenAndHandOver(const Environment& environment,
                                       const std::string& program_dir, const std::string& pdf,
                                       const std::function<void()>& between = {}) {
  const std::optional<std::string> text = RunInChild([&] {
    for (const char* name :
         {"LPDEST", "PRINTER", "CUPS_SERVER", "CUPS_ENCRYPTION", "TOLV_PRINTER", "IPP_PORT"}) {
      unsetenv(name);
    }
    // No lpoptions or client.conf of the machine's: a private home and client configuration.
    setenv("HOME", program_dir.c_str(), 1);
    setenv("CUPS_SERVERROOT", program_dir.c_str(), 1);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    std::unique_ptr<Destination> destination =
        OpenDefaultDestination(program_dir, WriteFileAtomically);
    if (between) between();
    const HandOverResult result = destination->HandOver({pdf, "PDF"});
    return Serialize(*destination, result);
  });
  if (!text) return std::nullopt;
  return Parse(*text);
}

void ExpectFileDevice(const PrinterDevice& device) {
  const PrinterDevice file = FilePrinterDevice();
  EXPECT_EQ(device.dpi_x, file.dpi_x);
  EXPECT_EQ(device.dpi_y, file.dpi_y);
  EXPECT_NEAR(device.page_width_pt, file.page_width_pt, 1e-9);
  EXPECT_NEAR(device.page_height_pt, file.page_height_pt, 1e-9);
  EXPECT_EQ(device.printable_left_px, 0);
  EXPECT_EQ(device.printable_top_px, 0);
  EXPECT_EQ(device.printable_width_px, 4961);
  EXPECT_EQ(device.printable_height_px, 7016);
  EXPECT_EQ(device.media, "iso_a4_210x297mm");
}

class CupsDestinationTest : public ::testing::Test {
 protected:
  const testing::ScratchDir scratch_{"tolv-program"};
  const std::string dir_ = scratch_.path();
  const std::string kept_ = dir_ + "/ZOBAX.PDF";

  // The one document a failure held, "" when there is none.
  std::string held() const {
    const std::vector<HeldDocument> all = ListHeldDocuments(dir_);
    return all.size() == 1 ? all[0].path : "";
  }
  const std::string pdf_ = testing::MinimalPdf("TOLV CUPS PROBE");
};

TEST_F(CupsDestinationTest, TheFilePrinterOnRequestKeepsTheDocument) {
  const auto outcome = OpenAndHandOver(
      {{"TOLV_PRINTER", "file"}, {"CUPS_SERVER", dir_ + "/no-scheduler.sock"}}, dir_, pdf_);
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->kind, "file");
  ExpectFileDevice(outcome->device);
  EXPECT_TRUE(outcome->ok) << outcome->message;
  EXPECT_EQ(ReadWholeFile(kept_), pdf_);
}

// With no server named, the default address is the local socket when there is one, else
// localhost at IPP_PORT.
TEST_F(CupsDestinationTest, ARefusedConnectionAtTheDefaultAddressMeansNoScheduler) {
  if (access("/run/cups/cups.sock", F_OK) == 0) GTEST_SKIP() << "this machine runs a scheduler";
  const std::string port = std::to_string(ClosedPort());

  const auto outcome = OpenAndHandOver({{"IPP_PORT", port}}, dir_, pdf_);
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->kind, "file") << outcome->detail;
  EXPECT_TRUE(outcome->ok);

  // The same address named by the user is a failure.
  const auto named = OpenAndHandOver({{"CUPS_SERVER", "localhost:" + port}}, dir_, pdf_);
  ASSERT_TRUE(named);
  EXPECT_EQ(named->kind, "failed");
  EXPECT_EQ(named->detail,
            "the print server localhost named by CUPS_SERVER refuses connections (Connection "
            "refused)");
  EXPECT_FALSE(named->ok);
  EXPECT_EQ(ReadWholeFile(held()), pdf_);
}

TEST_F(CupsDestinationTest, APlantedLinkIsReplacedNotFollowed) {
  const std::string victim = dir_ + "/victim";
  std::ofstream(victim) << "must stay";
  fs::create_symlink(victim, kept_);
  const auto outcome = OpenAndHandOver({{"TOLV_PRINTER", "file"}}, dir_, pdf_);
  ASSERT_TRUE(outcome);
  EXPECT_TRUE(outcome->ok);
  EXPECT_FALSE(fs::is_symlink(kept_));
  EXPECT_EQ(ReadWholeFile(kept_), pdf_);
  EXPECT_EQ(ReadWholeFile(victim), "must stay");
}

TEST_F(CupsDestinationTest, ASchedulerThatNeverAnswersCostsABoundedWaitAndKeepsTheDocument) {
  const SilentServer silent(dir_ + "/silent.sock");
  ASSERT_TRUE(silent.listening());
  const auto outcome = OpenAndHandOver({{"CUPS_SERVER", dir_ + "/silent.sock"}}, dir_, pdf_);
  ASSERT_TRUE(outcome) << "the destination did not give up on a silent scheduler";
  EXPECT_EQ(outcome->kind, "failed");
  ExpectFileDevice(outcome->device);
  EXPECT_FALSE(outcome->ok);
  EXPECT_NE(outcome->message.find("did not answer within 5 seconds"), std::string::npos)
      << outcome->message;
  EXPECT_NE(outcome->message.find("held as \"" + held() + "\""), std::string::npos)
      << outcome->message;
  EXPECT_EQ(ReadWholeFile(held()), pdf_);
}

TEST_F(CupsDestinationTest, ASchedulerThatHangsUpIsAFailureNotAMissingPrinter) {
  const SilentServer rude(dir_ + "/rude.sock", /*hang_up=*/true);
  ASSERT_TRUE(rude.listening());
  const auto outcome = OpenAndHandOver({{"CUPS_SERVER", dir_ + "/rude.sock"}}, dir_, pdf_);
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->kind, "failed") << outcome->detail;
  EXPECT_FALSE(outcome->ok);
  EXPECT_EQ(ReadWholeFile(held()), pdf_);
}

// Answers no real printer gives: the page would be rendered wrong, so they are a failure.
TEST(ImplausibleDeviceTest, AcceptsRealPrintersOnlyAndSaysWhy) {
  const auto device = [](double dpi_x, double dpi_y, double width_mm, double height_mm) {
    PrinterDevice d;
    d.dpi_x = dpi_x;
    d.dpi_y = dpi_y;
    d.printable_width_px = std::round(width_mm / 25.4 * dpi_x);
    d.printable_height_px = std::round(height_mm / 25.4 * dpi_y);
    return d;
  };
  const std::vector<std::pair<PrinterDevice, std::string>> cases = {
      {device(600, 600, 203.2, 289.9), ""},
      {device(72, 4800, 139, 105), ""},
      {device(1e6, 1e6, 200, 280), "its resolution 1e+06x1e+06 dpi is outside 72 to 4800 dpi"},
      {device(600, 1e7, 200, 280), "its resolution 600x1e+07 dpi is outside 72 to 4800 dpi"},
      {device(71, 600, 200, 280), "its resolution 71x600 dpi is outside 72 to 4800 dpi"},
      {device(600, 600, 1, 1),
       "its printable area of 1.0 x 1.0 mm cannot hold one form of 139 x 105 mm"},
      {device(600, 600, 138.5, 280),
       "its printable area of 138.5 x 280.0 mm cannot hold one form of 139 x 105 mm"},
      {device(600, 600, 200, 104),
       "its printable area of 200.0 x 104.0 mm cannot hold one form of 139 x 105 mm"},
  };
  for (const auto& [d, why] : cases) EXPECT_EQ(ImplausibleDevice(d), why) << d.dpi_x;
  PrinterDevice nan = device(600, 600, 200, 280);
  nan.dpi_x = std::nan("");
  EXPECT_NE(ImplausibleDevice(nan), "");
}

// With a private scheduler whose default queue Q prints on a virtual IPP printer.
class CupsQueueTest : public CupsDestinationTest {
 protected:
  void SetUp() override {
    scheduler_ = std::make_unique<PrivateCupsScheduler>();
    if (!scheduler_->skip_reason().empty()) GTEST_SKIP() << scheduler_->skip_reason();
    ASSERT_TRUE(scheduler_->started()) << scheduler_->problem();
  }
  void TearDown() override { scheduler_.reset(); }

  std::optional<Outcome> Print(const std::function<void()>& between = {}) {
    return OpenAndHandOver(scheduler_->environment(), dir_, pdf_, between);
  }

  // Jobs the scheduler knows of, finished or not.
  int JobCount() const {
    const std::string list = dir_ + "/jobs.txt";
    scheduler_->Run("lpstat -W all -o >" + list);
    const std::string jobs = ReadWholeFile(list);
    return static_cast<int>(std::count(jobs.begin(), jobs.end(), '\n'));
  }

  // The scheduler's record of a job, one "name=value" line per attribute.
  std::optional<std::string> JobAttributes(int job_id) const {
    return RunInChild([&] {
      for (const auto& [name, value] : scheduler_->environment()) {
        setenv(name.c_str(), value.c_str(), 1);
      }
      ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
      const std::string uri = "ipp://localhost/jobs/" + std::to_string(job_id);
      ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
      ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                   "all");
      ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs/");
      std::string lines;
      for (ipp_attribute_t* a = ippFirstAttribute(response); a != nullptr;
           a = ippNextAttribute(response)) {
        if (ippGetName(a) == nullptr) continue;
        char value[1024];
        ippAttributeString(a, value, sizeof(value));
        lines += std::string(ippGetName(a)) + "=" + value + "\n";
      }
      ippDelete(response);
      return lines;
    });
  }

  std::unique_ptr<PrivateCupsScheduler> scheduler_;
};

TEST_F(CupsQueueTest, MeasuresTheDefaultQueueAndPrintsTheDocumentAsOneJob) {
  const auto outcome = Print();
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->kind, "cups");
  EXPECT_EQ(outcome->detail, "Q");
  EXPECT_TRUE(outcome->ok) << outcome->message;
  // The virtual printer: 600 dpi, A4 with 3.4 mm side and 6.35 mm top and bottom margins.
  const PrinterDevice& device = outcome->device;
  EXPECT_EQ(device.dpi_x, 600);
  EXPECT_EQ(device.dpi_y, 600);
  EXPECT_NEAR(device.page_width_pt, 595.2756, 1e-4);
  EXPECT_NEAR(device.page_height_pt, 841.8898, 1e-4);
  EXPECT_EQ(device.printable_left_px, 80);
  EXPECT_EQ(device.printable_top_px, 150);
  EXPECT_EQ(device.printable_width_px, 4800);
  EXPECT_EQ(device.printable_height_px, 6716);
  EXPECT_EQ(device.media, "iso_a4_210x297mm");
  EXPECT_FALSE(fs::exists(kept_));

  ASSERT_TRUE(scheduler_->WaitForDocuments(1)) << "the job never reached the printer";
  const std::vector<std::string> documents = scheduler_->ReceivedDocuments();
  ASSERT_EQ(documents.size(), 1u);
  const std::string received = ReadWholeFile(documents[0]);
  EXPECT_EQ(received.substr(0, 5), "%PDF-");
  // The queue's filter rewrites the PDF; its text survives.
  const std::string text = dir_ + "/received.txt";
  ASSERT_EQ(std::system(("pdftotext '" + documents[0] + "' '" + text + "'").c_str()), 0);
  EXPECT_NE(ReadWholeFile(text).find("TOLV CUPS PROBE"), std::string::npos);
  EXPECT_EQ(JobCount(), 1);
}

TEST_F(CupsQueueTest, SendsTheJobWithoutScalingOnThePagesMedia) {
  const auto outcome = Print();
  ASSERT_TRUE(outcome);
  ASSERT_TRUE(outcome->ok) << outcome->message;
  const std::optional<std::string> job = JobAttributes(1);
  ASSERT_TRUE(job);
  EXPECT_NE(job->find("job-name=tolv\n"), std::string::npos) << *job;
  EXPECT_NE(job->find("print-scaling=none\n"), std::string::npos) << *job;
  EXPECT_NE(job->find("media=iso_a4_210x297mm\n"), std::string::npos) << *job;
  EXPECT_NE(job->find("document-format-supplied=application/pdf\n"), std::string::npos) << *job;
}

TEST_F(CupsQueueTest, AQueueThatRejectsJobsKeepsTheDocument) {
  ASSERT_EQ(scheduler_->Run("cupsreject Q"), 0);
  const auto outcome = Print();
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->kind, "cups");
  EXPECT_FALSE(outcome->ok);
  EXPECT_NE(outcome->message.find(
                "printing on Q failed: the queue Q does not accept jobs (Rejecting Jobs)"),
            std::string::npos)
      << outcome->message;
  EXPECT_NE(outcome->message.find("held as \"" + held() + "\""), std::string::npos)
      << outcome->message;
  EXPECT_EQ(outcome->message.find('\n'), std::string::npos);
  EXPECT_EQ(ReadWholeFile(held()), pdf_);
  EXPECT_EQ(JobCount(), 0);
}

// A paused queue that accepts jobs takes the job and holds it, as it would lp's.
TEST_F(CupsQueueTest, APausedQueueTakesTheJobAndSaysItIsPaused) {
  ASSERT_EQ(scheduler_->Run("cupsdisable Q"), 0);
  const auto outcome = Print();
  ASSERT_TRUE(outcome);
  EXPECT_TRUE(outcome->ok) << outcome->message;
  EXPECT_EQ(held(), "");
  EXPECT_EQ(JobCount(), 1);
}

TEST_F(CupsQueueTest, AJobRefusedHalfwayIsCancelledAndTheDocumentKept) {
  // The scheduler takes the small Create-Job but hangs up on a document over 4 KB.
  ASSERT_TRUE(scheduler_->ReloadWith("LimitRequestBody 4096"));
  std::string filler;
  for (int i = 0; i < 4000; ++i) filler += "BT /F1 1 Tf 9 9 Td (" + std::to_string(i) + ") Tj ET\n";
  const std::string big = testing::MinimalPdf("TOO BIG") + "%" + filler;
  const auto outcome = OpenAndHandOver(scheduler_->environment(), dir_, big);
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->kind, "cups");
  EXPECT_FALSE(outcome->ok);
  EXPECT_NE(outcome->message.find("printing on Q failed: "), std::string::npos) << outcome->message;
  EXPECT_EQ(ReadWholeFile(held()), big);
  // The job it had created is cancelled, so no half document prints later.
  const std::optional<std::string> job = JobAttributes(1);
  ASSERT_TRUE(job);
  EXPECT_NE(job->find("job-state=canceled\n"), std::string::npos) << *job;
}

TEST_F(CupsQueueTest, ASchedulerWithoutADefaultQueueMeansTheFilePrinter) {
  ASSERT_EQ(scheduler_->Run("lpadmin -x Q"), 0);
  const auto outcome = Print();
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->kind, "file") << outcome->detail;
  EXPECT_TRUE(outcome->ok);
  EXPECT_EQ(ReadWholeFile(kept_), pdf_);
}

TEST_F(CupsQueueTest, ASchedulerGoneBeforeTheDocumentIsDoneKeepsIt) {
  const pid_t scheduler = scheduler_->SchedulerPid();
  ASSERT_GT(scheduler, 0);
  const std::string socket_path = scheduler_->socket();
  const auto outcome = Print([&] {
    kill(scheduler, SIGKILL);
    // Its listening socket closes as it dies.
    for (;;) {
      const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      socket_path.copy(address.sun_path, sizeof(address.sun_path) - 1);
      const bool answered =
          connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
      close(fd);
      if (!answered) break;
      usleep(10000);
    }
  });
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->kind, "cups");
  EXPECT_FALSE(outcome->ok);
  EXPECT_NE(outcome->message.find("printing on Q failed: "), std::string::npos) << outcome->message;
  EXPECT_NE(outcome->message.find("held as \"" + held() + "\""), std::string::npos)
      << outcome->message;
  EXPECT_EQ(ReadWholeFile(held()), pdf_);
}

}  // namespace
}  // namespace tolv
