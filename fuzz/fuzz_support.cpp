#include "fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace tolv::fuzz {
namespace fs = std::filesystem;

ScratchDir::ScratchDir(const std::string& prefix) {
  std::string templ = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  Require(mkdtemp(templ.data()) != nullptr, "cannot make a scratch directory");
  path_ = templ;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  Require(out.good(), "cannot write a scratch file");
}

void CopySampleForms(const std::string& forms_dir, const std::string& program_dir) {
  for (int blank = 1; blank <= 7; ++blank) {
    for (const char* ext : {"GFX", "DAT"}) {
      const std::string name = "KORDEL" + std::to_string(blank) + "A." + ext;
      std::error_code error;
      fs::copy_file(forms_dir + "/" + name, program_dir + "/" + name,
                    fs::copy_options::overwrite_existing, error);
      if (error) {
        std::fprintf(stderr, "fuzz: sample form %s/%s: %s\n", forms_dir.c_str(), name.c_str(),
                     error.message().c_str());
        abort();
      }
    }
  }
}

void UseLocale(size_t index) {
  // One language of each code page, a plain "C", and one given in capitals and without a
  // territory, as some machines set it.
  static constexpr const char* kLocales[kLocaleCount] = {
      "C",     "en_US.UTF-8", "ru_RU.UTF-8", "pl_PL.ISO-8859-2",
      "el_GR", "tr_TR.UTF-8", "LT",          "de_DE@euro"};
  unsetenv("LC_ALL");
  unsetenv("LC_CTYPE");
  setenv("LANG", kLocales[index % kLocaleCount], 1);
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz: broken promise: %s\n", what);
  abort();
}

}  // namespace tolv::fuzz
