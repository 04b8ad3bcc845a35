// Runs the built program the way a caller does: a scratch program directory holding a copy of the
// executable, a job file and form files; then reads back what it printed.
#ifndef TOLV_TESTS_INTEGRATION_SUPPORT_PROGRAM_RUN_H_
#define TOLV_TESTS_INTEGRATION_SUPPORT_PROGRAM_RUN_H_

#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tolv::testing {

struct RunResult {
  int exit_status = -1;  // -1 when killed by a signal or timed out
  std::string standard_error;
  std::string standard_output;
};

// A word of text on a PDF page, in points from the page's top-left corner (pdftotext -bbox).
struct Word {
  int page = 0;
  std::string text;
  double x_min = 0, y_min = 0, x_max = 0, y_max = 0;
};

// A scratch directory holding a copy of the program.
class ProgramDir : public ScratchDir {
 public:
  ProgramDir();

  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  // Writes ZOBAX.QJT from scalar values and rows (each row stored with its two extra characters).
  void WriteJob(int blank, int paper_type, int offset_x, int offset_y,
                const std::map<int, std::string>& rows, const std::string& font = "DejaVu Sans",
                int zoom = 100) const;

  // Runs the copied program on the file printer (TOLV_PRINTER=file) so the document goes to
  // ZOBAX.PDF. extra_env: more VAR=value settings; one that names a scheduler (CUPS_SERVER) or
  // sets TOLV_PRINTER takes the place of the file printer.
  RunResult Run(const std::vector<std::string>& extra_env = {}, int timeout_seconds = 60) const;
  // The same with arguments, started by `program` (the copy in this directory when empty; e.g. a
  // symbolic link elsewhere).
  RunResult RunWith(const std::vector<std::string>& args,
                    const std::vector<std::string>& extra_env = {}, const std::string& program = "",
                    int timeout_seconds = 60) const;
};

// In a child about to start the program: no printer choice of the machine's (LPDEST, PRINTER,
// CUPS_SERVER), and the file printer on request (TOLV_PRINTER=file) unless `settings` name a
// scheduler or set TOLV_PRINTER themselves.
void ChooseFilePrinterUnless(const std::vector<std::string>& settings);

// What a shell command writes on its standard output.
std::string Capture(const std::string& command);
// The words of a PDF file, every page.
std::vector<Word> PdfWords(const std::string& pdf_path);
// Number of pages of a PDF file (pdfinfo).
int PdfPageCount(const std::string& pdf_path);
// The repository's root (TOLV_SOURCE_DIR) and the built program (TOLV_EXE).
std::string SourceDir();
std::string ProgramPath();

}  // namespace tolv::testing

#endif  // TOLV_TESTS_INTEGRATION_SUPPORT_PROGRAM_RUN_H_
