#include "job/run_trace.h"

namespace tolv {

void RunTrace::Note(const std::string& heading, const std::string& text) {
  notes_.emplace_back(heading, text);
}

void RunTrace::Problem(const std::string& text) {
  // The second copy repeats the first one's failures.
  for (const std::string& known : problems_) {
    if (known == text) return;
  }
  problems_.push_back(text);
}

void RunTrace::FormPlaced(TolvForm&, int32_t x, int32_t y, int32_t width, int32_t height) {
  forms_.push_back({page_, x, y, width, height});
}

void RunTrace::BeginRow(int index) {
  current_row_ = index;
  if (copy_ == 0) rows_[index].laid_out = true;
}

void RunTrace::Printed(double x_mm, double y_mm, const char* where) {
  if (copy_ != 0 || current_row_ < 0) return;
  RowTrace& r = rows_[current_row_];
  if (r.prints++ == 0) {
    r.x_mm = x_mm;
    r.y_mm = y_mm;
    r.where = where;
  }
}

void RunTrace::Dropped(const std::string& why) {
  if (current_row_ < 0) return;
  rows_[current_row_].dropped.push_back(copy_ == 0 ? why : "second copy, " + why);
}

}  // namespace tolv
