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

namespace tolv {

struct QueueCorrection {
  bool found = false;  // the queue has a section
  double shift_x_mm = 0;
  double shift_y_mm = 0;
};

// Values beyond +-100 mm are no correction but a mistake, and are ignored.
QueueCorrection ReadQueueCorrection(const std::string& program_dir, const std::string& queue);

// The journal file the section [tolv] names (Journal=path, beside the program when relative); ""
// for none.
std::string ReadJournalFile(const std::string& program_dir);

}  // namespace tolv

#endif  // TOLV_DESTINATION_QUEUE_CORRECTION_H_
