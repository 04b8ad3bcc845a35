// What a run did, step by step, as the steps that did it tell: the job reader says how it decoded
// the job and which rows it cut or emptied; the page drivers say where they put each copy of the
// form and whether the second went on a page of its own; the layouts say which row they printed
// where, and the fit tests which row they dropped and by how much. `tolv --check` reports it; a
// proof draws the form's picture where the drivers placed the form. A plain run records it too and
// nobody reads it: it costs a few strings.
#ifndef TOLV_JOB_RUN_TRACE_H_
#define TOLV_JOB_RUN_TRACE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace tolv {

class TolvForm;

// One copy of the form on the page, in printer device pixels.
struct PlacedForm {
  int page = 1;
  int32_t x = 0, y = 0, width = 0, height = 0;
};

// What became of one row of the job.
struct RowTrace {
  // Set by the job reader.
  bool has_text = false;        // the row as written held text
  bool length_missing = false;  // no LENnn: the row was emptied
  int cut_characters = 0;       // characters cut off by LENnn
  // Set by the layouts, for the first copy.
  bool laid_out = false;             // the layout came to this row
  int prints = 0;                    // strings printed
  double x_mm = 0, y_mm = 0;         // where its first string went, from the form's top-left corner
  std::string where;                 // "field", "box row", "box row, as one string"
  std::vector<std::string> dropped;  // fit tests that left the row or characters out
  std::u32string no_glyph;           // characters no font can show, each once
};

class RunTrace {
 public:
  virtual ~RunTrace() = default;

  // A fact of the run under a heading ("encoding": "UTF-8 ..."); later facts of a heading add.
  void Note(const std::string& heading, const std::string& text);
  // Something that keeps the job from printing as its caller meant.
  void Problem(const std::string& text);

  // The page drivers: one copy of the form is about to be drawn at this place. `form` draws.
  virtual void FormPlaced(TolvForm& form, int32_t x, int32_t y, int32_t width, int32_t height);
  void NewPage() { ++page_; }

  // The layouts: row `index` begins (copy 0 is the first copy; only its positions are kept).
  void BeginRow(int index);
  void EndCopy() { ++copy_; }
  // A string of the current row goes to (x, y) millimetres from the form's corner.
  void Printed(double x_mm, double y_mm, const char* where);
  void Dropped(const std::string& why);

  RowTrace& row(int index) { return rows_[index]; }
  const std::map<int, RowTrace>& rows() const { return rows_; }
  const std::vector<PlacedForm>& forms() const { return forms_; }
  const std::vector<std::pair<std::string, std::string>>& notes() const { return notes_; }
  const std::vector<std::string>& problems() const { return problems_; }

  // The family the platform's font matching gives a face (empty when it cannot tell): the report
  // shows the font that will be used beside the one asked for.
  std::function<std::string(const std::u32string&)> match_font;
  // The characters of a text that no font can show, in the face given or any substitute (empty
  // when it cannot tell): the report names the rows that print them as missing-glyph boxes.
  std::function<std::u32string(const std::u32string& face, const std::u32string& text)>
      unshown_characters;
  // The job's form type, once the job is read (the queue's name for the job).
  int form_type = 0;
  // Its output mode, for the journal.
  int output_mode = 0;
  // The job's bytes as read: a document held after a failed print keeps them, so that a reprint
  // on a printer with other paper or another printable area can lay the page out again.
  std::string job_text;
  // The printer's device pixels per millimetre, for positions in the report.
  double px_per_mm_x = 0;
  double px_per_mm_y = 0;
  // The printer's printable area in device pixels (0 when unknown): a copy placed past it loses
  // what lies there.
  double printable_width_px = 0;
  double printable_height_px = 0;

 private:
  std::vector<std::pair<std::string, std::string>> notes_;
  std::vector<std::string> problems_;
  std::vector<PlacedForm> forms_;
  std::map<int, RowTrace> rows_;
  int page_ = 1;
  int copy_ = 0;
  int current_row_ = -1;
};

// Runs one step whose failure the report names: a RuntimeError is recorded as a problem of
// `what` ("form picture") and raised again, for the caller's skip-and-continue.
template <class StepFn>
void Reporting(RunTrace& trace, const std::string& what, StepFn&& step) {
  try {
    std::forward<StepFn>(step)();
  } catch (const RuntimeError& error) {
    trace.Problem(what + ": " + error.what());
    throw;
  }
}

}  // namespace tolv

#endif  // TOLV_JOB_RUN_TRACE_H_
