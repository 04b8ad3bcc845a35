// tolv.conf beside the program: a correction per queue for a printer that feeds its paper a
// little off. Read with the job reader's rules (names without regard to case, the first section
// and key win, `;` comments only at the start of a line):
//
//   [Office laser]
//   ShiftX=1.5
//   ShiftY=-0.8
//
// moves every page printed on the queue "Office laser" 1.5 mm right and 0.8 mm up. No file, no
// section for the queue, or no queue at all (the file printer): no correction.
#ifndef TOLV_DESTINATION_QUEUE_CORRECTION_H_
#define TOLV_DESTINATION_QUEUE_CORRECTION_H_

#include <string>
#include <vector>

namespace tolv {

struct QueueCorrection {
  bool found = false;  // the queue has a section whose values are all sound
  double shift_x_mm = 0;
  double shift_y_mm = 0;
  // Why the queue's correction is not used, one line each: the file cannot be read (it is read as
  // the job is: bounded, never waiting on a pipe or device), or a value is not wholly a number
  // ("1,5"), not finite, or beyond +-100 mm. The page then prints without the correction.
  std::vector<std::string> problems;
};

QueueCorrection ReadQueueCorrection(const std::string& program_dir, const std::string& queue);

// The journal file the section [tolv] names (Journal=path, beside the program when relative); ""
// for none.
std::string ReadJournalFile(const std::string& program_dir);

}  // namespace tolv

#endif  // TOLV_DESTINATION_QUEUE_CORRECTION_H_
