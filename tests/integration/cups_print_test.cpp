// The program end to end through a real spooler: a private scheduler whose default queue Q prints
// on a virtual IPP printer (A4, 600 dpi, 3.4 mm side and 6.35 mm top and bottom margins).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "integration/support/held.h"
#include "integration/support/program_run.h"
#include "support/cups_harness.h"
#include "support/local_server.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

// The filter of the queue rewrites the PDF; positions survive within a fifth of a point.
constexpr double kTolerancePt = 0.25;
// The queue's printable area starts 80 and 150 device pixels (600 dpi) into the page.
constexpr double kMarginLeftPt = 80 * 72.0 / 600;
constexpr double kMarginTopPt = 150 * 72.0 / 600;

std::vector<std::string> Settings(const PrivateCupsScheduler& scheduler) {
  std::vector<std::string> settings;
  for (const auto& [name, value] : scheduler.environment()) settings.push_back(name + "=" + value);
  return settings;
}

std::vector<Word> WordsOf(const std::vector<Word>& words, const std::string& text) {
  std::vector<Word> found;
  for (const Word& w : words) {
    if (w.text == text) found.push_back(w);
  }
  return found;
}

// A grid job (output mode 3, form type 3): its text only, two copies.
void WriteGridJob(const ProgramDir& dir) { dir.WriteJob(3, 3, 25, 25, {{3, "Q"}, {0, "Kiel"}}); }

class CupsPrintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scheduler_ = std::make_unique<PrivateCupsScheduler>();
    if (!scheduler_->skip_reason().empty()) GTEST_SKIP() << scheduler_->skip_reason();
    ASSERT_TRUE(scheduler_->started()) << scheduler_->problem();
  }

  std::unique_ptr<PrivateCupsScheduler> scheduler_;
};

TEST_F(CupsPrintTest, TheDefaultQueuePrintsTheFormWhereThePrinterCanPrint) {
  ProgramDir on_file;
  WriteGridJob(on_file);
  ASSERT_EQ(on_file.Run().exit_status, 0);
  const std::vector<Word> reference = PdfWords(on_file.File("ZOBAX.PDF"));

  ProgramDir dir;
  WriteGridJob(dir);
  const RunResult run = dir.Run(Settings(*scheduler_));
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_error, "");
  EXPECT_FALSE(dir.Exists("ZOBAX.PDF"));
  ASSERT_TRUE(scheduler_->WaitForDocuments(1)) << "the job never reached the printer";
  const std::string received = scheduler_->ReceivedDocuments().at(0);
  EXPECT_EQ(PdfPageCount(received), 1);

  // The same grid, moved by the printable area's corner: the printer's origin, as on Windows.
  const std::vector<Word> words = PdfWords(received);
  for (const std::string text : {"Q", "Kiel"}) {
    SCOPED_TRACE(text);
    const auto expected = WordsOf(reference, text);
    const auto printed = WordsOf(words, text);
    ASSERT_EQ(expected.size(), 2u);
    ASSERT_EQ(printed.size(), expected.size());
    for (size_t i = 0; i < printed.size(); ++i) {
      EXPECT_NEAR(printed[i].x_min, expected[i].x_min + kMarginLeftPt, kTolerancePt);
      EXPECT_NEAR(printed[i].y_min, expected[i].y_min + kMarginTopPt, kTolerancePt);
    }
  }
}

// A paused queue takes the job as it takes lp's, and prints it once it is resumed.
TEST_F(CupsPrintTest, APausedQueueHoldsTheJobAndPrintsItOnceResumed) {
  ASSERT_EQ(scheduler_->Run("cupsdisable Q"), 0);
  ProgramDir dir;
  WriteGridJob(dir);
  const RunResult run = dir.Run(Settings(*scheduler_));
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_error, "");
  EXPECT_TRUE(HeldDocuments(dir).empty());
  EXPECT_TRUE(scheduler_->ReceivedDocuments().empty());
  ASSERT_EQ(scheduler_->Run("cupsenable Q"), 0);
  ASSERT_TRUE(scheduler_->WaitForDocuments(1));
  EXPECT_EQ(WordsOf(PdfWords(scheduler_->ReceivedDocuments()[0]), "Q").size(), 2u);
}

// Each way a print can fail is seen and never lost: exit status 2, the line of standard error also
// in the journal, the document held, and printed by --reprint once the fault is gone; a print
// that succeeds (a paused queue takes the job too) leaves one line naming its job.
TEST_F(CupsPrintTest, EveryFailureIsJournalledAndItsDocumentHeldUntilReprinted) {
  enum class Scheduler { kPrivate, kMissingSocket, kInstalledNotRunning };
  struct Case {
    const char* what;
    const char* before;  // a command for the scheduler, or ""
    Scheduler scheduler;
    const char* setting;  // one more VAR=value, or ""
    int exit_status;
    const char* journal_start;
    const char* journal_end;
    // Laid out without a queue to measure, the page is placed for the whole sheet: a reprint on
    // Q, whose printable area has margins, lays the job kept with it out again.
    bool laid_out_for_q = true;
  };
  const Case cases[] = {
      {"accepted", "", Scheduler::kPrivate, "", 0,
       "form type 3, output mode 3: handed to queue Q as job ", " dpi\n"},
      {"rejecting", "cupsreject -r \"tray broken\" Q", Scheduler::kPrivate, "", 2,
       "tolv: printing on Q failed: the queue Q does not accept jobs (tray broken); the document "
       "is held as ",
       ""},
      {"no scheduler at the named socket", "", Scheduler::kMissingSocket, "", 2,
       "tolv: the print server ", "", false},
      {"a scheduler installed but not running", "", Scheduler::kInstalledNotRunning, "", 2,
       "tolv: no print server is running at localhost (Connection refused), though queues are "
       "defined in ",
       "", false},
      {"a misspelt default", "", Scheduler::kPrivate, "LPDEST=Qx", 2,
       "tolv: the default printer Qx does not exist (named by LPDEST); the document is held as ",
       "", false},
      {"paused", "cupsdisable -r \"out of toner\" Q", Scheduler::kPrivate, "", 0,
       "form type 3, output mode 3: handed to queue Q as job ",
       " dpi; the queue Q is paused (out of toner): the job waits there until the queue is "
       "resumed\n"},
  };
  size_t printed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(scheduler_->Run("cupsaccept Q"), 0);
    ASSERT_EQ(scheduler_->Run("cupsenable Q"), 0);
    // A job still printing would set the queue's message in place of the one a case gives it.
    ASSERT_TRUE(scheduler_->WaitForDocuments(printed));
    for (int i = 0; i < 600 && scheduler_->Run("test -z \"$(lpstat -o)\"") != 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (*c.before != '\0') {
      ASSERT_EQ(scheduler_->Run(c.before), 0);
    }
    ProgramDir dir;
    WriteGridJob(dir);
    dir.Write("tolv.conf", "[tolv]\nJournal=journal.log\n");
    std::vector<std::string> settings = Settings(*scheduler_);
    if (c.scheduler == Scheduler::kMissingSocket) {
      settings.push_back("CUPS_SERVER=" + dir.File("none.sock"));
    }
    if (c.scheduler == Scheduler::kInstalledNotRunning) {
      // The machine's own scheduler, at its default address, with a queue in its configuration.
      if (access("/run/cups/cups.sock", F_OK) == 0) continue;
      dir.Write("printers.conf", "<Printer Office>\nState Idle\n</Printer>\n");
      settings = {"TOLV_PRINTER=", "HOME=" + dir.path(), "CUPS_SERVERROOT=" + dir.path(),
                  "IPP_PORT=" + std::to_string(ClosedPort())};
    }
    if (*c.setting != '\0') settings.push_back(c.setting);
    const RunResult run = dir.Run(settings);
    EXPECT_EQ(run.exit_status, c.exit_status) << run.standard_error;
    const std::string journal = dir.Read("journal.log");
    EXPECT_EQ(journal.rfind(c.journal_start, 0), 0u) << journal;
    EXPECT_TRUE(journal.ends_with(c.journal_end)) << journal;
    EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 1) << journal;
    if (c.exit_status == 0) {
      EXPECT_NE(journal.find(", paper iso_a4_210x297mm, 600x600 dpi"), std::string::npos);
      EXPECT_TRUE(HeldDocuments(dir).empty());
      ++printed;
      continue;
    }
    EXPECT_EQ(journal, run.standard_error);
    const std::string held = HeldDocumentOf(dir);
    ASSERT_NE(held, "");
    EXPECT_NE(journal.find("held as \"" + held + "\""), std::string::npos) << journal;
    EXPECT_NE(held.find("-form3-"), std::string::npos) << held;
    EXPECT_EQ(WordsOf(PdfWords(held), "Q").size(), 2u);
    EXPECT_FALSE(dir.Exists("ZOBAX.PDF"));

    // The fault gone, the held document prints once and is no longer held.
    ASSERT_EQ(scheduler_->Run("cupsaccept Q"), 0);
    const RunResult reprint = dir.RunWith({"--reprint", "all"}, Settings(*scheduler_));
    EXPECT_EQ(reprint.exit_status, 0) << reprint.standard_error;
    EXPECT_EQ(reprint.standard_output.rfind("reprint of ", 0), 0u) << reprint.standard_output;
    EXPECT_EQ(reprint.standard_output.find(", laid out again, form type 3, output mode 3: handed "
                                           "to queue Q as job ") != std::string::npos,
              !c.laid_out_for_q)
        << reprint.standard_output;
    EXPECT_TRUE(HeldDocuments(dir).empty());
    ++printed;
  }
  ASSERT_EQ(scheduler_->Run("cupsenable Q"), 0);
  EXPECT_TRUE(scheduler_->WaitForDocuments(printed));
  EXPECT_EQ(scheduler_->ReceivedDocuments().size(), printed);
}

// A document held by a failed print is listed, and printed once the fault is gone; a held file
// that is not the document held (cut since) is refused and stays.
TEST_F(CupsPrintTest, AHeldDocumentIsReprintedOnceTheFaultIsGoneAndADamagedOneIsKept) {
  ProgramDir dir;
  WriteGridJob(dir);
  dir.Write("tolv.conf", "[tolv]\nJournal=journal.log\n");
  ASSERT_EQ(scheduler_->Run("cupsreject Q"), 0);
  ASSERT_EQ(dir.Run(Settings(*scheduler_)).exit_status, 2);
  const std::string held = HeldDocumentOf(dir);
  ASSERT_NE(held, "");
  const std::string name = fs::path(held).filename().string();
  // Two held while the default named no queue: laid out for the whole sheet, so a reprint on Q
  // lays their jobs out again, one after the other in one process.
  std::vector<std::string> misspelt = Settings(*scheduler_);
  misspelt.push_back("LPDEST=Qx");
  ASSERT_EQ(dir.Run(misspelt).exit_status, 2);
  ASSERT_EQ(dir.Run(misspelt).exit_status, 2);
  // The same document and note under an older name, cut short since it was held.
  const std::string cut_name = "19990101-000000-form3-1.pdf";
  std::string note = dir.Read("held/" + name + ".txt");
  note.replace(note.find(name), name.size(), cut_name);
  dir.Write("held/" + cut_name + ".txt", note);
  const std::string bytes = dir.Read("held/" + name);
  dir.Write("held/" + cut_name, bytes.substr(0, bytes.size() / 2));
  // A whole metafile held on a Windows machine, with its own note: never sent to a PDF queue.
  const std::string emf_name = "19990101-000001-form3-1.emf";
  std::string emf(88 + 20, '\0');
  for (const auto& [at, value] :
       {std::pair{0, 1}, {4, 88}, {40, 0x464D4520}, {48, 108}, {88, 14}, {92, 20}, {104, 20}}) {
    for (int k = 0; k < 4; ++k) emf[at + k] = static_cast<char>(value >> (8 * k) & 0xff);
  }
  std::string emf_note = dir.Read("held/" + name + ".txt");
  emf_note.replace(emf_note.find(name), name.size(), emf_name);
  uint64_t fnv = 14695981039346656037ull;  // the note's checksum: 64-bit FNV-1a
  for (const char c : emf) fnv = (fnv ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char checksum[17];
  std::snprintf(checksum, sizeof(checksum), "%016llx", static_cast<unsigned long long>(fnv));
  emf_note.replace(emf_note.find("\nbytes="), std::string::npos,
                   "\nbytes=108\nchecksum=" + std::string(checksum) + "\n");
  dir.Write("held/" + emf_name + ".txt", emf_note);
  dir.Write("held/" + emf_name, emf);

  const RunResult listed = dir.RunWith({"--held"}, Settings(*scheduler_));
  EXPECT_EQ(listed.exit_status, 0);
  EXPECT_NE(listed.standard_output.find(name + "  "), std::string::npos) << listed.standard_output;
  EXPECT_NE(listed.standard_output.find("form type 3  queue Q  printing on Q failed: the queue Q "
                                        "does not accept jobs"),
            std::string::npos)
      << listed.standard_output;

  ASSERT_EQ(scheduler_->Run("cupsaccept Q"), 0);
  const RunResult reprint = dir.RunWith({"--reprint", "all"}, Settings(*scheduler_));
  EXPECT_EQ(reprint.exit_status, 2) << "the cut document was not printed";
  EXPECT_EQ(reprint.standard_error,
            "tolv: the held document \"" + dir.File("held/" + cut_name) +
                "\" was not printed: it is not the document that was held (damaged or changed "
                "since); it stays held\ntolv: printing on Q failed: the queue takes PDF documents, "
                "and this one is EMF; the document stays held as \"" +
                dir.File("held/" + emf_name) + "\"\n");
  EXPECT_NE(reprint.standard_output.find("reprint of " + name +
                                         " (form type 3): handed to queue Q as job "),
            std::string::npos)
      << reprint.standard_output;
  size_t laid_out_again = 0;
  for (size_t at = 0;
       (at = reprint.standard_output.find(
            ", laid out again, form type 3, output mode 3: handed to queue Q as job ", at)) !=
       std::string::npos;
       ++at) {
    ++laid_out_again;
  }
  EXPECT_EQ(laid_out_again, 2u) << reprint.standard_output;
  ASSERT_TRUE(scheduler_->WaitForDocuments(3));
  EXPECT_EQ(scheduler_->ReceivedDocuments().size(), 3u);
  for (const std::string& received : scheduler_->ReceivedDocuments()) {
    EXPECT_EQ(WordsOf(PdfWords(received), "Q").size(), 2u);
  }
  EXPECT_EQ(HeldDocuments(dir), std::vector<std::string>{dir.File("held/" + cut_name)});
  EXPECT_TRUE(dir.Exists("held/" + emf_name));
  EXPECT_FALSE(dir.Exists("held/" + name + ".txt"));
  const std::string journal = dir.Read("journal.log");
  // The three held runs, the cut document, the metafile, the three reprints.
  EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 8) << journal;
  EXPECT_NE(journal.find("\nreprint of " + name + " (form type 3): handed to queue Q as job "),
            std::string::npos)
      << journal;

  EXPECT_EQ(dir.RunWith({"--reprint", name}, Settings(*scheduler_)).exit_status, 1)
      << "printed once, it is no longer held";
  EXPECT_EQ(dir.RunWith({"--reprint", cut_name}, Settings(*scheduler_)).exit_status, 2);
  EXPECT_TRUE(dir.Exists("held/" + cut_name));
  EXPECT_EQ(scheduler_->ReceivedDocuments().size(), 3u);
}

TEST(CupsUnansweredTest, ASchedulerThatNeverAnswersEndsTheRunWithTheDocumentKept) {
  ProgramDir dir;
  WriteGridJob(dir);
  const SilentServer silent(dir.File("silent.sock"));
  ASSERT_TRUE(silent.listening());
  const RunResult run = dir.Run({"CUPS_SERVER=" + dir.File("silent.sock")});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.standard_error, "tolv: the print server " + dir.File("silent.sock") +
                                    " did not answer within 5 seconds; the document is held as \"" +
                                    HeldDocumentOf(dir) + "\"\n");

  // Rendered on the file printer's device, as a run without any printer would have.
  ProgramDir on_file;
  WriteGridJob(on_file);
  ASSERT_EQ(on_file.Run().exit_status, 0);
  const auto kept = WordsOf(PdfWords(HeldDocumentOf(dir)), "Q");
  const auto reference = WordsOf(PdfWords(on_file.File("ZOBAX.PDF")), "Q");
  ASSERT_EQ(kept.size(), 2u);
  ASSERT_EQ(reference.size(), 2u);
  EXPECT_NEAR(kept[0].x_min, reference[0].x_min, 0.01);
  EXPECT_NEAR(kept[1].y_min, reference[1].y_min, 0.01);
}

}  // namespace
}  // namespace tolv::testing
