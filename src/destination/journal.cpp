#include "destination/journal.h"

#include <cmath>

namespace tolv {

std::string JournalLine(const HandOverRecord& record, const std::string& what) {
  if (!record.result.ok) return "tolv: " + OneLine(record.result.message);
  std::string line = what + ": ";
  if (record.queue.empty()) {
    line += "written by the file printer";
  } else {
    line += "handed to queue " + record.queue;
    if (record.result.job_id > 0) line += " as job " + std::to_string(record.result.job_id);
  }
  const PrinterDevice& d = record.device;
  line += ", paper " + d.media + ", " + std::to_string(std::lround(d.dpi_x)) + "x" +
          std::to_string(std::lround(d.dpi_y)) + " dpi";
  if (!record.result.note.empty()) line += "; " + record.result.note;
  return OneLine(line);
}

}  // namespace tolv
