// File names in the program's one line of failure.
#ifndef TOLV_RUNTIME_QUOTED_H_
#define TOLV_RUNTIME_QUOTED_H_

#include <cstdio>
#include <filesystem>
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

// A path for a message, as the machine writes paths: quoted as above where the separator is "/";
// where it is "\\" (Windows) with every separator that one and backslashes left as they are, so
// that "C:\\Billing\\ZOBAX.EMF" reads as the operator types it.
inline std::string ShownPath(std::string_view path) {
  if (std::filesystem::path::preferred_separator == '/') return Quoted(path);
  std::string native;
  for (const char c : path) native += c == '/' ? '\\' : c;
  std::string quoted = Quoted(native);
  std::string shown;
  for (size_t i = 0; i < quoted.size(); ++i) {
    // Quoted doubled each backslash: one again.
    if (quoted[i] == '\\' && i + 1 < quoted.size() && quoted[i + 1] == '\\') ++i;
    shown += quoted[i];
  }
  return shown;
}

}  // namespace tolv

#endif  // TOLV_RUNTIME_QUOTED_H_
