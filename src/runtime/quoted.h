// File names in the program's one line of failure.
#ifndef TOLV_RUNTIME_QUOTED_H_
#define TOLV_RUNTIME_QUOTED_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace tolv {

// A file name for a message of one line: in double quotes, with quotes, backslashes and control
// characters escaped, so that a name holding a line break cannot split the line. Header-only, as
// the machine's services (which depend on no shared code) quote names too.
inline std::string Quoted(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (u < 0x20 || u == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\x%02x", u);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace tolv

#endif  // TOLV_RUNTIME_QUOTED_H_
