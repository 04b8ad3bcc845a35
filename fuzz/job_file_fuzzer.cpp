// The job file reader on arbitrary bytes: the code page decision and decoding, the profile reader
// in both of its forms, and the job reader on the bytes as ZOBAX.QJT holds them. The whole input is
// the job file, so a kept input is a job file as it is; the locale it is read under follows from
// its length.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "job/code_page.h"
#include "job/job_file.h"
#include "job/profile.h"

namespace tolv::fuzz {
namespace {

const std::vector<ProfileKey>& JobKeys() {
  static const std::vector<ProfileKey> keys = [] {
    std::vector<ProfileKey> k;
    for (const char32_t* section :
         {U"BLANK", U"PAPERTYPE", U"OFFSETX", U"OFFSETY", U"FONT", U"ZOOM"}) {
      k.push_back({section, U"Value"});
    }
    for (int i = 0; i < kRowCount - 1; ++i) {
      const std::u32string digits = {static_cast<char32_t>(U'0' + i / 10),
                                     static_cast<char32_t>(U'0' + i % 10)};
      k.push_back({U"INFO", U"ROW" + digits});
      k.push_back({U"INFO", U"LEN" + digits});
    }
    return k;
  }();
  return keys;
}

void CheckDecoding(std::string_view bytes) {
  const JobText text(bytes);
  const std::u32string decoded = text.Decode(text.body());
  if (text.is_utf8()) {
    Require(decoded.size() <= text.body().size(), "UTF-8 text grew in decoding");
    // Valid UTF-8 decodes to the same text it encodes back to (after a byte-order mark the
    // text may hold invalid bytes, which become U+FFFD).
    if (decoded.find(U'\uFFFD') == std::u32string::npos) {
      Require(ToUtf8(decoded) == text.body(), "UTF-8 text does not survive decoding");
    }
  } else {
    // A code page gives one character a byte.
    Require(decoded.size() == text.body().size(), "code page text changed length");
  }
}

void CheckProfile(std::string_view bytes) {
  const Profile whole = Profile::Parse(bytes);
  static const ProfileKeys keys{JobKeys()};
  const Profile wanted = Profile::Parse(bytes, keys);
  for (const ProfileKey& key : JobKeys()) {
    const auto value = whole.Value(key.section, key.key);
    // Keeping only the wanted keys must not change what they read.
    Require(value == wanted.Value(key.section, key.key), "the two profile forms disagree");
    if (value) Require(value->size() <= kProfileValueLimit, "a value over 254 characters");
    // Names match whatever their letter case.
    Require(value == whole.Value(FoldProfileName(key.section), key.key), "folded section differs");
  }
}

void CheckJob(const JobState& job) {
  Require(job.Zoom >= 0.8 && job.Zoom <= 1.2, "Zoom outside 0.8 to 1.2");
  Require(job.FontFace.size() <= kProfileValueLimit, "FontFace over 254 characters");
  Require(job.FontFace.find(U'\0') == std::u32string::npos, "FontFace holds a NUL");
  for (int i = 0; i < kRowCount - 1; ++i) {
    Require(job.Rows[i].size() <= kProfileBufferLength - 2, "a row over 253 characters");
  }
  Require(job.Rows[kRowCount - 1].empty(), "row 100 not empty");
}

}  // namespace
}  // namespace tolv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolv::fuzz;
  const std::string_view bytes = AsBytes(data, size);
  UseLocale(size);

  CheckDecoding(bytes);
  CheckProfile(bytes);

  // The bytes as the job reader has them once the file is read: reading the file itself (open,
  // check, bounded read) is the same for every input and is left to the tests and the whole-run
  // target.
  tolv::JobState job;
  tolv::ReadJobText(job, bytes);
  CheckJob(job);
  return 0;
}
