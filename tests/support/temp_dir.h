// A scratch directory for a test, on every platform the tests run on (mkdtemp is POSIX only).
#ifndef TOLV_TESTS_SUPPORT_TEMP_DIR_H_
#define TOLV_TESTS_SUPPORT_TEMP_DIR_H_

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace tolv::testing {

// Makes a new directory from `templ`, whose last six characters are "XXXXXX", replacing them with
// random letters as mkdtemp does. Returns templ's new value, or nullptr when no directory could be
// made.
inline char* MakeTempDir(std::string& templ) {
  static std::random_device seed;
  static std::mt19937_64 random(seed());
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  if (templ.size() < 6 || templ.compare(templ.size() - 6, 6, "XXXXXX") != 0) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (size_t k = templ.size() - 6; k < templ.size(); ++k) templ[k] = kLetters[random() % 36];
    std::error_code error;
    if (std::filesystem::create_directory(templ, error)) return templ.data();
  }
  return nullptr;
}

}  // namespace tolv::testing

#endif  // TOLV_TESTS_SUPPORT_TEMP_DIR_H_
