// What the fuzz targets share: a private program directory, files written into it, the locale the
// job file's code page follows, and a check that aborts (so libFuzzer keeps the input) when a
// promise of a reader is broken.
#ifndef TOLV_FUZZ_FUZZ_SUPPORT_H_
#define TOLV_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolv::fuzz {

// A directory of its own under $TMPDIR, made at the first use and removed, with everything in it,
// when the fuzzer ends normally. One per process, so parallel fuzzers never share files.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes the bytes as the whole file, replacing it; aborts when the file cannot be written (the
// run would otherwise test nothing).
void WriteFile(const std::string& path, std::string_view bytes);

// Copies the sample forms' pictures and dot files (KORDEL<n>A.GFX and .DAT, n 1 to 7) from the
// build's forms directory into the program directory; aborts when one is missing.
void CopySampleForms(const std::string& forms_dir, const std::string& program_dir);

// The locales a run may find in the environment: each Windows code page the job file can be read
// in, and the C locale.
constexpr size_t kLocaleCount = 8;
// Makes the locale `index % kLocaleCount` the one the code page is taken from (LANG, with LC_ALL
// and LC_CTYPE unset so that LANG decides).
void UseLocale(size_t index);

// Aborts with the message when the condition is false: the fuzzer keeps the input as a crash.
void Require(bool condition, const char* what);

inline std::string_view AsBytes(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tolv::fuzz

#endif  // TOLV_FUZZ_FUZZ_SUPPORT_H_
