// The job state: what the job file asks for and what start-up derives from it. Main fills one value
// of it and hands it, read-only, to the form.
#ifndef TOLV_JOB_JOB_H_
#define TOLV_JOB_JOB_H_

#include <array>
#include <cstdint>
#include <string>

namespace tolv {

// Index 100 of Rows always stays empty; a job has rows 0 to 99.
constexpr int kRowCount = 101;

struct PrintJobRecord {
  int16_t Blank = 0;          // form type; 1 to 7 are known
  int16_t PaperType = 0;      // output mode; 0 to 3 are known
  int16_t OffsetX = 0;        // horizontal placement, fiftieths of the free space
  int16_t OffsetY = 0;        // vertical placement
  std::string FormImagePath;  // the form type's background picture
  std::string CopyImagePath;  // empty: no second copy
  int16_t LastRowIndex = 0;   // highest row the form type lays out
};

struct JobState {
  PrintJobRecord PrintJob;
  double Zoom = 0;  // 0.8 to 1.2 once the job is loaded
  std::u32string FontFace;
  std::array<std::u32string, kRowCount> Rows;
  double FormPitch = 0;  // millimetres between the fixed grid's two copies
  double PixelsPerMmX = 0;
  double PixelsPerMmY = 0;
};

}  // namespace tolv

#endif  // TOLV_JOB_JOB_H_
