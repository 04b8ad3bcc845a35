// Where a run that could not hand its document over holds it: held/ beside the program.
#ifndef TOLV_TESTS_INTEGRATION_SUPPORT_HELD_H_
#define TOLV_TESTS_INTEGRATION_SUPPORT_HELD_H_

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "integration/support/program_run.h"

namespace tolv::testing {

// The held documents (not their notes), oldest first.
inline std::vector<std::string> HeldDocuments(const ProgramDir& dir) {
  std::vector<std::string> found;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("held"), ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".pdf")) found.push_back(entry.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The one document a failed run held; "" when there is not exactly one.
inline std::string HeldDocumentOf(const ProgramDir& dir) {
  const std::vector<std::string> held = HeldDocuments(dir);
  return held.size() == 1 ? held[0] : "";
}

}  // namespace tolv::testing

#endif  // TOLV_TESTS_INTEGRATION_SUPPORT_HELD_H_
