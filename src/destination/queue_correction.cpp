#include "destination/queue_correction.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "job/code_page.h"
#include "job/profile.h"
#include "runtime/file_reader.h"

namespace tolv {
namespace {

// A settings file of a few lines; anything larger is not one.
constexpr size_t kConfigLimit = 1 << 16;
constexpr double kLargestShiftMm = 100;
constexpr char kConfigName[] = "tolv.conf";

// The value as millimetres when it is wholly a finite number within the largest shift (blanks
// and one pair of double quotes around it allowed, a decimal point, never a comma).
std::optional<double> Millimetres(const std::u32string& value) {
  std::string text = ToUtf8(value);
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t");
  text = first == std::string::npos ? "" : text.substr(first, last - first + 1);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  if (text.starts_with('+')) text.erase(0, 1);
  double mm = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), mm);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(mm) || std::abs(mm) > kLargestShiftMm) {
    return std::nullopt;
  }
  return mm;
}

}  // namespace

QueueCorrection ReadQueueCorrection(const std::string& program_dir, const std::string& queue) {
  QueueCorrection correction;
  if (queue.empty()) return correction;
  const FileRead read = ReadFileBeside(program_dir, kConfigName, kConfigLimit);
  if (read.status == FileRead::Status::kMissing) return correction;
  if (read.status == FileRead::Status::kFailed) {
    correction.problems.push_back(std::string(kConfigName) + " cannot be read: " + read.cause +
                                  "; no correction for queue " + Quoted(queue));
    return correction;
  }
  const Profile profile = Profile::Parse(read.bytes);
  const std::u32string section = DecodeJobText(queue);
  bool any = false;
  for (const char32_t* key : {U"ShiftX", U"ShiftY"}) {
    const std::optional<std::u32string> value = profile.Value(section, key);
    if (!value) continue;
    any = true;
    const std::optional<double> mm = Millimetres(*value);
    if (!mm) {
      correction.problems.push_back(std::string(kConfigName) + ": " + ToUtf8(key) + "=" +
                                    ToUtf8(*value) + " of queue " + Quoted(queue) +
                                    " is not a shift of -100 to 100 mm; no correction");
      continue;
    }
    (key[5] == U'X' ? correction.shift_x_mm : correction.shift_y_mm) = *mm;
  }
  // One value wrong and the other right is no correction the operator meant.
  correction.found = any && correction.problems.empty();
  if (!correction.found) correction.shift_x_mm = correction.shift_y_mm = 0;
  return correction;
}

std::string ReadJournalFile(const std::string& program_dir) {
  // The same bounded reader as the corrections: a FIFO or a huge file in its place is no setting.
  const FileRead read = ReadFileBeside(program_dir, kConfigName, kConfigLimit);
  if (read.status != FileRead::Status::kRead) return "";
  const std::optional<std::u32string> value = Profile::Parse(read.bytes).Value(U"tolv", U"Journal");
  if (!value || value->empty()) return "";
  const std::string path = ToUtf8(*value);
  return path.front() == '/' ? path : program_dir + "/" + path;
}

}  // namespace tolv
