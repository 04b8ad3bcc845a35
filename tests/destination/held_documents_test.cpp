#include "destination/held_documents.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "destination/file_printer.h"
#include "runtime/quoted.h"
#include "support/temp_dir.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;

bool WritePlainly(const std::string& path, std::string_view bytes, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) *error = "cannot write " + path;
  return static_cast<bool>(out);
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const HeldDocument& held : ListHeldDocuments(dir)) names.push_back(held.name);
  return names;
}

// The folder stays within its limits by removing the oldest documents (by the date and time
// their names begin with), never the one just held, and never a note without its document.
TEST(HeldDocumentsTest, TheOldestGoFirst) {
  struct Case {
    HeldLimits limits;
    std::vector<std::string> left;  // of the earlier documents, oldest first
  };
  const Case cases[] = {
      {{10, 1 << 20},
       {"20000101-000000-form1-7.pdf", "20000102-000000-form1-7.pdf",
        "20010101-000000-form1-7.pdf"}},
      {{3, 1 << 20}, {"20000102-000000-form1-7.pdf", "20010101-000000-form1-7.pdf"}},
      {{1, 1 << 20}, {}},
      // 100 bytes each: 250 bytes hold the new one and one earlier.
      {{10, 250}, {"20010101-000000-form1-7.pdf"}},
  };
  for (const Case& c : cases) {
    const testing::ScratchDir scratch("tolv-held");
    const std::string& dir = scratch.path();
    fs::create_directory(dir + "/held");
    // Written out of order: the name, not the order of writing, says which is oldest.
    for (const char* name : {"20010101-000000-form1-7.pdf", "20000101-000000-form1-7.pdf",
                             "20000102-000000-form1-7.pdf"}) {
      std::ofstream(dir + "/held/" + name) << std::string(100, 'x');
      std::ofstream(dir + "/held/" + name + ".txt") << "form=1\n";
    }
    const std::string pdf = "%PDF-1.5 " + std::string(84, 'y') + "\n%%EOF\n";
    FinishedDocument document{pdf, "PDF"};
    document.form_type = 4;
    const std::string job = "[BLANK]\nValue=4\n";
    document.job = job;
    const Held held = HoldDocument(&WritePlainly, dir, document, "the queue said no", c.limits);
    ASSERT_FALSE(held.path.empty()) << held.error;
    std::vector<std::string> names = Names(dir);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(dir + "/held/" + names.back(), held.path);
    EXPECT_NE(names.back().find("-form4-"), std::string::npos) << names.back();
    names.pop_back();
    EXPECT_EQ(names, c.left) << "limits " << c.limits.max_documents << ", " << c.limits.max_bytes;
    for (const std::string& gone : held.removed)
      EXPECT_FALSE(fs::exists(dir + "/held/" + gone + ".txt"));
    const HeldDocument note = ListHeldDocuments(dir).back();
    EXPECT_EQ(note.form, "4");
    EXPECT_EQ(note.why, "the queue said no");
    EXPECT_EQ(HeldDocumentProblem(note, pdf), "");
    EXPECT_NE(HeldDocumentProblem(note, pdf + "x"), "");
    HeldDocument renamed = note;
    renamed.name = "other.pdf";
    EXPECT_NE(HeldDocumentProblem(renamed, pdf), "") << "a note names its own document";
    // The job is kept beside it for a reprint that lays it out again, and goes with it.
    EXPECT_EQ(note.job_checksum, Checksum(job));
    ASSERT_TRUE(fs::exists(HeldJobPath(note)));
    EXPECT_TRUE(RemoveHeldDocument(note));
    EXPECT_FALSE(fs::exists(HeldJobPath(note)));
    EXPECT_FALSE(fs::exists(note.path + ".txt"));
  }
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
  for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(value >> (8 * k) & 0xff);
}

// One page as the GDI printer records it: the header record (88 bytes, " EMF", the metafile's
// length), one drawing record, the end-of-file record.
std::string Metafile() {
  std::string bytes(88 + 12 + 20, '\0');
  Put32(bytes, 0, 1);
  Put32(bytes, 4, 88);
  Put32(bytes, 40, 0x464D4520);
  Put32(bytes, 48, static_cast<uint32_t>(bytes.size()));
  Put32(bytes, 52, 3);
  Put32(bytes, 88, 27);  // a MoveTo
  Put32(bytes, 92, 12);
  Put32(bytes, 100, 14);
  Put32(bytes, 104, 20);
  Put32(bytes, 116, 20);
  return bytes;
}

// A reprint takes only a whole document of the kind its name says: a PDF, or metafiles one after
// the other, each from its header to its end of file, covering the bytes exactly.
TEST(HeldDocumentsTest, AReprintTakesOnlyAWholeDocumentOfTheKindItsNameSays) {
  const std::string pdf = "%PDF-1.5 page\n%%EOF\r\n";
  const std::string page = Metafile();
  std::string no_end = page;
  Put32(no_end, 100, 12);  // the last record is no end of file
  std::string too_long = page;
  Put32(too_long, 48, static_cast<uint32_t>(page.size() + 4));
  struct Case {
    const char* what;
    const char* name;
    std::string bytes;
    bool whole;
  };
  const Case cases[] = {
      {"a PDF", "a.pdf", pdf, true},
      {"a cut PDF", "a.pdf", pdf.substr(0, 12), false},
      {"one page", "a.emf", page, true},
      {"two pages", "a.EMF", page + page, true},
      {"a page cut in its records", "a.emf", page.substr(0, page.size() - 4), false},
      {"the second page cut", "a.emf", page + page.substr(0, 100), false},
      {"bytes after the last page", "a.emf", page + "tail", false},
      {"no end-of-file record", "a.emf", no_end, false},
      {"a length past the end", "a.emf", too_long, false},
      {"a PDF named .emf", "a.emf", pdf, false},
      {"a metafile named .pdf", "a.pdf", page, false},
      {"nothing", "a.emf", "", false},
  };
  for (const Case& c : cases) {
    HeldDocument held;
    held.name = held.note_names = c.name;
    held.bytes = std::to_string(c.bytes.size());
    held.checksum = Checksum(c.bytes);
    EXPECT_EQ(HeldDocumentProblem(held, c.bytes).empty(), c.whole)
        << c.what << ": " << HeldDocumentProblem(held, c.bytes);
  }
}

// Two failures never share a file; a held folder that cannot be made leaves the document as
// ZOBAX.PDF, and the line says both.
TEST(HeldDocumentsTest, NeverOverwrittenAndNeverLost) {
  const testing::ScratchDir scratch("tolv-held"), blocked_scratch("tolv-held");
  const std::string& dir = scratch.path();
  const FinishedDocument first{"%PDF-1 first", "PDF"};
  const FinishedDocument second{"%PDF-1 second", "PDF"};
  const HandOverResult a = KeepAfterFailure(&WritePlainly, dir, first, "down");
  const HandOverResult b = KeepAfterFailure(&WritePlainly, dir, second, "down");
  EXPECT_FALSE(a.ok);
  const std::vector<HeldDocument> held = ListHeldDocuments(dir);
  ASSERT_EQ(held.size(), 2u);
  EXPECT_NE(held[0].name, held[1].name);
  const bool names_one = a.message == "down; the document is held as " + ShownPath(held[0].path) ||
                         a.message == "down; the document is held as " + ShownPath(held[1].path);
  EXPECT_TRUE(names_one) << a.message;
  EXPECT_FALSE(fs::exists(dir + "/ZOBAX.PDF"));

  const std::string& blocked = blocked_scratch.path();
  std::ofstream(blocked + "/held") << "a file where the folder should be";
  const HandOverResult kept = KeepAfterFailure(&WritePlainly, blocked, first, "down");
  EXPECT_NE(kept.message.find("down; it could not be held ("), std::string::npos) << kept.message;
  EXPECT_NE(kept.message.find("the document was kept as " + ShownPath(blocked + "/ZOBAX.PDF")),
            std::string::npos)
      << kept.message;
  EXPECT_TRUE(fs::exists(blocked + "/ZOBAX.PDF"));

  // A reprint that fails again leaves the document where it is held, and writes no copy.
  FinishedDocument reprinted = first;
  reprinted.held_as = held[0].path;
  EXPECT_NE(KeepAfterFailure(&WritePlainly, dir, reprinted, "down").message.find("stays held"),
            std::string::npos);
  EXPECT_EQ(ListHeldDocuments(dir).size(), 2u);
}

}  // namespace
}  // namespace tolv
