#include "destination/queue_correction.h"

#include <cmath>
#include <fstream>
#include <iterator>

#include "job/code_page.h"
#include "job/profile.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

// A settings file of a few lines; anything larger is not one.
constexpr std::streamsize kConfigLimit = 1 << 16;
constexpr double kLargestShiftMm = 100;

}  // namespace

QueueCorrection ReadQueueCorrection(const std::string& program_dir, const std::string& queue) {
  QueueCorrection correction;
  if (queue.empty()) return correction;
  std::ifstream in(program_dir + "/tolv.conf", std::ios::binary);
  if (!in) return correction;
  std::string bytes(kConfigLimit, '\0');
  in.read(bytes.data(), kConfigLimit);
  bytes.resize(static_cast<size_t>(in.gcount()));
  const Profile profile = Profile::Parse(bytes);
  const std::u32string section = DecodeJobText(queue);
  for (const char32_t* key : {U"ShiftX", U"ShiftY"}) {
    const std::optional<std::u32string> value = profile.Value(section, key);
    if (!value) continue;
    correction.found = true;
    double mm = 0;
    Step([&] { mm = LeadingNumber(*value); });
    if (!std::isfinite(mm) || std::abs(mm) > kLargestShiftMm) mm = 0;
    (key[5] == U'X' ? correction.shift_x_mm : correction.shift_y_mm) = mm;
  }
  return correction;
}

std::string ReadJournalFile(const std::string& program_dir) {
  std::ifstream in(program_dir + "/tolv.conf", std::ios::binary);
  if (!in) return "";
  std::string bytes(kConfigLimit, '\0');
  in.read(bytes.data(), kConfigLimit);
  bytes.resize(static_cast<size_t>(in.gcount()));
  const std::optional<std::u32string> value = Profile::Parse(bytes).Value(U"tolv", U"Journal");
  if (!value || value->empty()) return "";
  const std::string path = ToUtf8(*value);
  return path.front() == '/' ? path : program_dir + "/" + path;
}

}  // namespace tolv
