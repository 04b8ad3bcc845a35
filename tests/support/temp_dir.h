// A scratch directory for a test, on every platform the tests run on (mkdtemp is POSIX only, and
// the Windows tests are built with the same sources).
#ifndef TOLV_TESTS_SUPPORT_TEMP_DIR_H_
#define TOLV_TESTS_SUPPORT_TEMP_DIR_H_

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tolv::testing {

// A new directory of its own in the system's temporary folder, named `<prefix>-` and six random
// letters, removed with everything in it when it goes. A directory that cannot be made throws: a
// test that went on would write its files into "/".
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix = "tolv-test") {
    static std::random_device seed;
    static std::mt19937_64 random(seed());
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const std::string base = (std::filesystem::temp_directory_path() / (prefix + "-")).string();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::string name = base;
      for (int k = 0; k < 6; ++k) name += kLetters[random() % 36];
      std::error_code error;
      // create_directory is false (without an error) when the name is taken: try another.
      if (std::filesystem::create_directory(name, error)) path_ = name;
    }
    if (path_.empty()) throw std::runtime_error("cannot make a scratch directory " + base + "*");
  }

  // Tests take permissions away (a read-only folder, an unreadable job file); they are given back
  // first, or remove_all would leave the directory behind.
  ~ScratchDir() {
    namespace fs = std::filesystem;
    std::error_code ignored;
    std::error_code walk;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    // Each directory is opened to the owner before the walk enters it.
    for (fs::recursive_directory_iterator it(path_, walk), end; !walk && it != end;
         it.increment(walk)) {
      if (!it->is_symlink(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(path_, ignored);
  }

  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Whether an entry of that name is there, a link to nowhere too.
  bool Exists(const std::string& name) const {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(File(name), ignored));
  }

 private:
  std::string path_;
};

}  // namespace tolv::testing

#endif  // TOLV_TESTS_SUPPORT_TEMP_DIR_H_
