// Reading a file whole, for tests on every platform.
#ifndef TOLV_TESTS_SUPPORT_FILES_H_
#define TOLV_TESTS_SUPPORT_FILES_H_

#include <fstream>
#include <sstream>
#include <string>

namespace tolv::testing {

// The file's bytes; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace tolv::testing

#endif  // TOLV_TESTS_SUPPORT_FILES_H_
