// The program end to end through a real spooler: a private scheduler whose default queue Q prints
// on a virtual IPP printer (A4, 600 dpi, 3.4 mm side and 6.35 mm top and bottom margins).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "integration/support/held.h"
#include "integration/support/program_run.h"
#include "support/cups_harness.h"
#include "support/local_server.h"

namespace tolv::testing {
namespace {

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

TEST_F(CupsPrintTest, AStoppedQueueLeavesTheDocumentBesideTheProgramAndExitStatus2) {
  ASSERT_EQ(scheduler_->Run("cupsdisable Q"), 0);
  ProgramDir dir;
  WriteGridJob(dir);
  const RunResult run = dir.Run(Settings(*scheduler_));
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.standard_error,
            "tolv: printing on Q failed: the queue Q is stopped (paused); the "
            "document is held as \"" +
                HeldDocumentOf(dir) + "\"\n");
  // Rendered for the queue it was meant for: its margins are in the held document.
  const auto q = WordsOf(PdfWords(HeldDocumentOf(dir)), "Q");
  ASSERT_EQ(q.size(), 2u);
  EXPECT_TRUE(scheduler_->ReceivedDocuments().empty());
}

// Each way a print can fail is seen and never lost: exit status 2, the line of standard error also
// in the journal, the document held; a print that succeeds leaves one line naming its job.
TEST_F(CupsPrintTest, EveryFailureIsJournalledAndItsDocumentHeld) {
  struct Case {
    const char* what;
    const char* before;  // a command for the scheduler, or ""
    bool no_scheduler;   // the named scheduler's socket is missing
    int exit_status;
    const char* journal_start;
  };
  const Case cases[] = {
      {"accepted", "", false, 0, "form type 3, output mode 3: handed to queue Q as job "},
      {"rejecting", "cupsreject Q", false, 2,
       "tolv: printing on Q failed: the queue Q does not accept jobs"},
      {"stopped", "cupsdisable Q", false, 2,
       "tolv: printing on Q failed: the queue Q is stopped (paused); the document is held as "},
      {"no scheduler", "", true, 2, "tolv: the print server "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(scheduler_->Run("cupsaccept Q"), 0);
    ASSERT_EQ(scheduler_->Run("cupsenable Q"), 0);
    if (*c.before != '\0') {
      ASSERT_EQ(scheduler_->Run(c.before), 0);
    }
    ProgramDir dir;
    WriteGridJob(dir);
    dir.Write("tolv.conf", "[tolv]\nJournal=journal.log\n");
    std::vector<std::string> settings = Settings(*scheduler_);
    if (c.no_scheduler) settings.push_back("CUPS_SERVER=" + dir.File("none.sock"));
    const RunResult run = dir.Run(settings);
    EXPECT_EQ(run.exit_status, c.exit_status) << run.standard_error;
    const std::string journal = dir.Read("journal.log");
    EXPECT_EQ(journal.rfind(c.journal_start, 0), 0u) << journal;
    EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 1) << journal;
    if (c.exit_status == 0) {
      EXPECT_NE(journal.find(", paper iso_a4_210x297mm, 600x600 dpi\n"), std::string::npos);
      EXPECT_TRUE(HeldDocuments(dir).empty());
      continue;
    }
    EXPECT_EQ(journal, run.standard_error);
    const std::string held = HeldDocumentOf(dir);
    ASSERT_NE(held, "");
    EXPECT_NE(journal.find("held as \"" + held + "\""), std::string::npos) << journal;
    EXPECT_NE(held.find("-form3-"), std::string::npos) << held;
    EXPECT_EQ(WordsOf(PdfWords(held), "Q").size(), 2u);
    EXPECT_FALSE(dir.Exists("ZOBAX.PDF"));
  }
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
