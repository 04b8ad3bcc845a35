#include "startup/job_file.h"

namespace tolv {

// Placeholder until the job intake lands.
std::string JobFilePath(const std::string& program_dir) { return program_dir + "/ZOBAX.QJT"; }
bool JobFileExists(const std::string&) { return false; }
bool LoadJob(JobState&, const std::string&) { return false; }
std::u32string ReadProfileValue(const Profile&, const std::u32string&, const std::u32string&) {
  return std::u32string(255, U'\0');
}

}  // namespace tolv
