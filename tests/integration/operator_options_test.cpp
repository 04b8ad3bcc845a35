// The operator's options end to end: --check names why a row does not print, --pdf and --proof
// write the document instead of handing it over, and tolv.conf moves one queue's page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "integration/support/held.h"
#include "integration/support/program_run.h"
#include "support/cups_harness.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;
constexpr double kPointsPerMm = 72 / 25.4;

void CopyForms(const ProgramDir& dir, int blank) {
  const fs::path forms = fs::path(ProgramPath()).parent_path() / "forms";
  for (const char* ext : {"GFX", "DAT"}) {
    const std::string name = "KORDEL" + std::to_string(blank) + "A." + ext;
    fs::copy_file(forms / name, dir.File(name));
  }
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CheckTest, EachKindOfDroppedRowIsNamedAndNothingIsPrinted) {
  struct Case {
    std::string name;
    std::string job;
    std::vector<std::string> env;
    std::string expected;  // in the report; empty: no problem at all
  };
  const std::string grid5 =
      "[BLANK]\nValue=5\n[PAPERTYPE]\nValue=3\n[OFFSETX]\nValue=25\n"
      "[OFFSETY]\nValue=25\n[FONT]\nValue=DejaVu Sans\n[INFO]\n";
  const Case cases[] = {
      {"fine", grid5 + "ROW00=|Kiel|\nLEN00=6\nROW03=|AB|\nLEN03=4\n", {}, ""},
      {"no length", grid5 + "ROW03=|AB|\n", {}, "ROW03  dropped: LEN03 is missing"},
      {"cut",
       grid5 + "ROW03=|ABCDEF|\nLEN03=4\n",
       {},
       "ROW03  printed in a box row at 14.0, "
       "24.5 mm from the form's corner; cut by "
       "LEN03: 4 characters left out"},
      {"beyond", grid5 + "ROW40=|AB|\nLEN40=4\n", {}, "ROW40  dropped: beyond the form's last row"},
      // The second copy's last row passes the bottom of A4 when placed low.
      {"height test",
       "[BLANK]\nValue=5\n[PAPERTYPE]\nValue=3\n[OFFSETX]\nValue=25\n[OFFSETY]\nValue=50\n[INFO]"
       "\nROW17=|AB|\nLEN17=4\n",
       {},
       "partly left out: second copy, height test: its line would end"},
      {"code page",
       grid5 + "ROW00=|\xC8\xE2\xE0\xED|\nLEN00=6\n",
       {"LC_ALL=", "LC_CTYPE=", "LANG="},
       "no locale set"},
      // A character no font has is printed as the missing-glyph box, and named.
      {"no glyph",
       "\xEF\xBB\xBF" + grid5 + "ROW03=|AB\xF0\x90\x8C\xB0|\nLEN03=5\n",
       {},
       "ROW03: printed as missing-glyph boxes, no font can show \xF0\x90\x8C\xB0 (U+10330)"},
      {"missing form",
       "[BLANK]\nValue=3\n[PAPERTYPE]\nValue=2\n[INFO]\nROW03=|A|\nLEN03=3\n",
       {},
       "KORDEL3A.DAT is missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramDir dir;
    dir.Write("ZOBAX.QJT", c.job);
    const RunResult run = dir.RunWith({"--check"}, c.env);
    EXPECT_EQ(run.exit_status, c.expected.empty() ? 0 : 1) << run.standard_output;
    if (c.expected.empty()) {
      EXPECT_TRUE(Has(run.standard_output, "problems         none")) << run.standard_output;
    } else {
      EXPECT_TRUE(Has(run.standard_output, c.expected)) << run.standard_output;
    }
    EXPECT_TRUE(Has(run.standard_output, "printer          the file printer"));
    EXPECT_FALSE(dir.Exists("ZOBAX.PDF"));
  }
}

TEST(PreviewTest, PdfIsTheRunsDocumentAndProofPutsTheFormUnderItsText) {
  ProgramDir dir;
  CopyForms(dir, 3);
  dir.WriteJob(3, 2, 25, 25, {{0, "Kiel"}, {3, "Q"}});
  ASSERT_EQ(dir.Run().exit_status, 0);
  const std::vector<Word> printed = PdfWords(dir.File("ZOBAX.PDF"));
  fs::remove(dir.File("ZOBAX.PDF"));

  RunResult run = dir.RunWith({"--pdf", dir.File("preview.pdf")});
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_FALSE(dir.Exists("ZOBAX.PDF"));
  const std::vector<Word> preview = PdfWords(dir.File("preview.pdf"));
  ASSERT_EQ(preview.size(), printed.size());
  for (size_t i = 0; i < preview.size(); ++i) {
    EXPECT_EQ(preview[i].text, printed[i].text);
    EXPECT_DOUBLE_EQ(preview[i].x_min, printed[i].x_min);
  }

  run = dir.RunWith({"--proof", dir.File("proof.pdf")});
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  // The form's pictures as placed (pdftohtml lists each image with its box in points).
  std::vector<std::pair<double, double>> images;  // left, top
  std::istringstream lines(
      Capture("pdftohtml -xml -zoom 1 -stdout '" + dir.File("proof.pdf") + "' | grep '<image'"));
  for (std::string line; std::getline(lines, line);) {
    const auto number = [&](const std::string& name) {
      return std::stod(line.substr(line.find(name + "=\"") + name.size() + 2));
    };
    // The form's picture is the form's width; the dots come as images of the printable area.
    if (std::abs(number("width") - 139 * kPointsPerMm) < 1 &&
        std::abs(number("height") - 141 * kPointsPerMm) < 1) {
      images.emplace_back(number("left"), number("top"));
    }
  }
  ASSERT_EQ(images.size(), 2u) << "one picture under each copy";
  const std::vector<Word> proof = PdfWords(dir.File("proof.pdf"));
  int q = 0;
  for (const Word& w : proof) {
    if (w.text != "Q") continue;
    // The first box stands 4.6 mm into the form (zoom 100), its row 27.5 mm down.
    EXPECT_NEAR(w.x_min - images[q].first, 4.6 * kPointsPerMm, 1.5);
    EXPECT_NEAR(w.y_min - images[q].second, 27.5 * kPointsPerMm, 3);
    ++q;
  }
  EXPECT_EQ(q, 2);
  bool mark = false;
  for (const Word& w : proof) mark = mark || w.text == "proof";
  EXPECT_TRUE(mark);
  EXPECT_FALSE(dir.Exists("ZOBAX.PDF"));
}

// What --pdf does with each kind of name: a file or a new name is replaced (keeping its
// permissions), a character device written into, and what tolv reads or cannot replace refused
// with a usage error before anything is read or written.
TEST(PreviewTest, EachKindOfOutputNameIsReplacedWrittenIntoOrRefused) {
  ProgramDir dir;
  dir.WriteJob(3, 3, 25, 25, {{0, "Kiel"}});
  const std::string job = dir.Read("ZOBAX.QJT");
  dir.Write("tolv.conf", "[q]\nShiftX=1\n");
  dir.Write("private.pdf", "old");
  fs::permissions(dir.File("private.pdf"), fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(Capture("mkfifo '" + dir.File("fifo") + "' && echo ok"), "ok\n");
  fs::create_directory(dir.File("folder"));
  fs::create_symlink(dir.File("ZOBAX.QJT"), dir.File("job-link"));
  struct Case {
    std::string name;
    int status;
    std::string said;  // in the one line on standard error
  };
  const Case cases[] = {
      {"new.pdf", 0, ""},
      {"private.pdf", 0, ""},
      {"/dev/null", 0, ""},
      {"/dev/full", 2, "No space left on device"},
      {"fifo", 64, "it is a FIFO"},
      {"folder", 64, "it is a directory"},
      {"ZOBAX.QJT", 64, "which tolv reads"},
      {"job-link", 64, "which tolv reads"},
      {"tolv", 64, "it is the program itself"},
      {"tolv.conf", 64, "which tolv reads"},
      {"/dev/tolv-test.pdf", 64, "no file in /dev"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.name.starts_with("/") ? c.name : dir.File(c.name);
    const RunResult run = dir.RunWith({"--pdf", path});
    EXPECT_EQ(run.exit_status, c.status) << run.standard_error;
    if (c.said.empty()) {
      EXPECT_EQ(run.standard_error, "");
      if (c.name.ends_with(".pdf")) {
        EXPECT_EQ(dir.Read(c.name).substr(0, 5), "%PDF-");
      }
    } else {
      EXPECT_TRUE(Has(run.standard_error, c.said)) << run.standard_error;
      EXPECT_EQ(std::count(run.standard_error.begin(), run.standard_error.end(), '\n'), 1);
    }
  }
  EXPECT_EQ(fs::status(dir.File("private.pdf")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(fs::is_fifo(dir.File("fifo")));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_FALSE(fs::exists("/dev/tolv-test.pdf"));
  EXPECT_EQ(dir.Read("ZOBAX.QJT"), job);
  EXPECT_TRUE(fs::is_symlink(dir.File("job-link")));
  EXPECT_EQ(dir.Read("tolv.conf"), "[q]\nShiftX=1\n");
  // The Windows printer's metafile is no document of this machine: refused before anything.
  const RunResult emf = dir.RunWith({"--emf", dir.File("page.emf")});
  EXPECT_EQ(emf.exit_status, 64);
  EXPECT_TRUE(Has(emf.standard_error, "only available on Windows")) << emf.standard_error;
  EXPECT_FALSE(dir.Exists("page.emf"));
  EXPECT_FALSE(dir.Exists("ZOBAX.PDF"));
}

TEST(TestPageTest, TheOutlineStandsWhereAJobPlacesTheFormWithItsRulers) {
  ProgramDir dir;
  dir.WriteJob(3, 3, 25, 25, {{0, "Kiel"}});  // a waiting job is not printed
  const RunResult run = dir.RunWith({"--test-page", "3", "--pdf", dir.File("test.pdf")});
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_FALSE(dir.Exists("ZOBAX.PDF"));
  // Large form centred on A4: its corner 35.5 mm from the left; both copies on the sheet, each
  // with 13 numbered centimetres across and 14 down.
  int tens = 0;
  double leftmost = 1e9;
  std::string label;
  for (const Word& w : PdfWords(dir.File("test.pdf"))) {
    EXPECT_NE(w.text, "Kiel");
    if (w.y_min < 60 * kPointsPerMm) label += w.text + " ";
    if (w.text != "10") continue;
    ++tens;
    leftmost = std::min(leftmost, w.x_min);
  }
  EXPECT_EQ(tens, 4);  // along the top and the left edge of each copy
  // Labelled inside the first copy: the printer, its paper and resolution, the correction.
  for (const char* line :
       {"the file printer, paper iso_a4_210x297mm, 600x600 dpi ", "correction: none "}) {
    EXPECT_NE(label.find(line), std::string::npos) << label;
  }
  // The left edge's label stands past its 3 mm tick.
  EXPECT_NEAR(leftmost, (35.5 + 3.3) * kPointsPerMm, 1);
  EXPECT_EQ(PdfPageCount(dir.File("test.pdf")), 1);
}

std::vector<std::string> Settings(const PrivateCupsScheduler& scheduler) {
  std::vector<std::string> settings;
  for (const auto& [name, value] : scheduler.environment()) settings.push_back(name + "=" + value);
  return settings;
}

TEST(QueueCorrectionTest, TolvConfMovesOnlyItsOwnQueuesPage) {
  PrivateCupsScheduler scheduler;
  if (!scheduler.skip_reason().empty()) GTEST_SKIP() << scheduler.skip_reason();
  ASSERT_TRUE(scheduler.started()) << scheduler.problem();
  auto kiel = [](const std::string& pdf) {
    for (const Word& w : PdfWords(pdf)) {
      if (w.text == "Kiel") return w;
    }
    return Word{};
  };

  ProgramDir dir;
  dir.WriteJob(3, 3, 25, 25, {{0, "Kiel"}});
  dir.Write("tolv.conf", "[Other]\nShiftX=9\nShiftY=9\n");
  ASSERT_EQ(dir.RunWith({"--pdf", dir.File("plain.pdf")}, Settings(scheduler)).exit_status, 0);
  dir.Write("tolv.conf", "[Other]\nShiftX=9\n[q]\nShiftX=5\nShiftY=-3\n");
  ASSERT_EQ(dir.RunWith({"--pdf", dir.File("moved.pdf")}, Settings(scheduler)).exit_status, 0);
  const Word plain = kiel(dir.File("plain.pdf"));
  const Word moved = kiel(dir.File("moved.pdf"));
  EXPECT_NEAR(moved.x_min - plain.x_min, 5 * kPointsPerMm, 0.1);
  EXPECT_NEAR(moved.y_min - plain.y_min, -3 * kPointsPerMm, 0.1);

  const RunResult check = dir.RunWith({"--check"}, Settings(scheduler));
  EXPECT_TRUE(Has(check.standard_output, "printer          queue Q")) << check.standard_output;
  EXPECT_TRUE(Has(check.standard_output, "moves the page 5.00 mm right, -3.00 mm down"));
  // On the queue itself, printed through the scheduler, the page is moved the same way, and the
  // queue's saved settings that would move it (two pages a sheet) are not passed on.
  ASSERT_EQ(scheduler.Run("lpoptions -p Q -o number-up=2 -o print-quality=5"), 0);
  ASSERT_EQ(dir.Run(Settings(scheduler)).exit_status, 0);
  ASSERT_TRUE(scheduler.WaitForDocuments(1));
  const std::string document = scheduler.ReceivedDocuments().at(0);
  // The printer keeps the job under its name: the form type, not the job's text.
  EXPECT_TRUE(Has(document, "form")) << document;
  EXPECT_FALSE(Has(document, "Kiel")) << document;
  const Word received = kiel(document);
  EXPECT_NEAR(received.x_min, moved.x_min, 0.3);
  EXPECT_NEAR(received.y_min, moved.y_min, 0.3);

  // A correction that is not one: --check lists it, a run says it in one line and prints without
  // it; one that moves the page's marks off the printable area is never handed over.
  struct Bad {
    std::string conf;
    int run_status;
    std::string said;
  };
  const Bad bad[] = {
      {"[q]\nShiftX=1,5\n", 0, "ShiftX=1,5 of queue \"Q\" is not a shift"},
      {"[q]\nShiftX=nan\nShiftY=1\n", 0, "ShiftX=nan"},
      {"[q]\nShiftY=1e309\n", 0, "ShiftY=1e309"},
      {"[q]\nShiftX=-100\nShiftY=-100\n", 2, "moves marks of the page off the printable area"},
      {"", 0, "tolv.conf cannot be read: it is not a regular file"},  // a FIFO
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.conf);
    fs::remove(dir.File("tolv.conf"));
    if (b.conf.empty()) {
      ASSERT_EQ(Capture("mkfifo '" + dir.File("tolv.conf") + "' && echo ok"), "ok\n");
    } else {
      dir.Write("tolv.conf", b.conf);
    }
    const RunResult listed = dir.RunWith({"--check"}, Settings(scheduler));
    EXPECT_EQ(listed.exit_status, 1);
    EXPECT_TRUE(Has(listed.standard_output, b.said)) << listed.standard_output;
    const RunResult run = dir.Run(Settings(scheduler));
    EXPECT_EQ(run.exit_status, b.run_status);
    EXPECT_TRUE(Has(run.standard_error, b.said)) << run.standard_error;
    EXPECT_EQ(std::count(run.standard_error.begin(), run.standard_error.end(), '\n'), 1);
    EXPECT_EQ(HeldDocuments(dir).size(), b.run_status == 2 ? 1u : 0u);
    fs::remove_all(dir.File("held"));
  }
  ASSERT_TRUE(scheduler.WaitForDocuments(5));
}

}  // namespace
}  // namespace tolv::testing
