#include "destination/exit_status.h"

#include <algorithm>
#include <ostream>
#include <string>

namespace tolv {

int ExitStatusAfterHandOver(const HandOverResult& result, std::ostream& errors) {
  if (result.ok) return kExitHandedOver;
  std::string line = "tolv: " + result.message;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  errors << line << '\n' << std::flush;
  return kExitNotHandedOver;
}

}  // namespace tolv
