#include "job/job_file.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "runtime/file_path.h"
#include "runtime/file_reader.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kJobFileName = "ZOBAX.QJT";

// Whether the directory holds an entry named exactly like the path's last part, letter case
// included, and the path leads to a regular file. Asking the file system for the name alone would
// find "zobax.qjt" where names ignore case; its own entries do not lie.
bool IsJobFileEntry(const fs::path& path) {
  const fs::path name = PathFromUtf8(kJobFileName);
  if (path.filename() != name) return false;
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return false;  // follows a symbolic link
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  fs::directory_iterator entry(dir, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    // Compared as native strings, byte for byte or unit for unit, wherever paths are wide.
    if (entry->path().filename().native() == name.native()) return true;
  }
  return false;
}

std::u32string TwoDigitKey(const char32_t* prefix, int index) {
  std::u32string key(prefix);
  key.push_back(static_cast<char32_t>(U'0' + index / 10));
  key.push_back(static_cast<char32_t>(U'0' + index % 10));
  return key;
}

std::u32string RowKey(int index) { return TwoDigitKey(U"ROW", index); }
std::u32string LenKey(int index) { return TwoDigitKey(U"LEN", index); }

// The keys the job is made of, and nothing else: the reader keeps only these.
std::vector<ProfileKey> JobKeys() {
  std::vector<ProfileKey> keys;
  for (const char32_t* section :
       {U"BLANK", U"PAPERTYPE", U"OFFSETX", U"OFFSETY", U"FONT", U"ZOOM"}) {
    keys.push_back({section, U"Value"});
  }
  for (int i = 0; i < kRowCount - 1; ++i) {
    keys.push_back({U"INFO", RowKey(i)});
    keys.push_back({U"INFO", LenKey(i)});
  }
  return keys;
}

[[noreturn]] void InvalidLength() {
  throw RuntimeError(ErrorKind::kInvalidArgument, "invalid string length");
}

int16_t ReadInt16(const Profile& profile, const std::u32string& section) {
  return ToInt16(LeadingNumber(ReadProfileValue(profile, section, U"Value")));
}

// A row keeps characters 2 to L-1 of its padded buffer: the writer of the job frames the text with
// one extra character at each end and gives its length plus 2.
void LoadRow(JobState& job, const Profile& profile, int i, RunTrace* trace) {
  std::u32string& row = job.Rows[i];
  // The row as its padded buffer holds it: the value, then NULs to the buffer's end. Only the
  // part the length keeps is made.
  row = profile.Value(U"INFO", RowKey(i)).value_or(std::u32string());
  if (trace != nullptr) {
    // What the reader does to a row with text, for the report: a row without its length is
    // emptied, and a length shorter than the row cuts it.
    const std::optional<std::u32string> written = profile.Value(U"INFO", RowKey(i));
    if (written && written->size() > 2) {
      RowTrace& r = trace->row(i);
      r.has_text = true;
      r.length_missing = !profile.Value(U"INFO", LenKey(i)).has_value();
      Step([&] {
        const int64_t length =
            ToInt32(LeadingNumber(ReadProfileValue(profile, U"INFO", LenKey(i))));
        const int64_t written_length = static_cast<int64_t>(written->size());
        if (!r.length_missing && length < written_length) {
          r.cut_characters = static_cast<int>(written_length - std::max<int64_t>(length, 0));
        }
      });
    }
  }
  // The length belongs to this row alone: when it does not convert, the cut that needs it fails
  // too, rather than taking an earlier row's length.
  std::optional<int32_t> length;
  Step([&] { length = ToInt32(LeadingNumber(ReadProfileValue(profile, U"INFO", LenKey(i)))); });
  Step([&] {
    if (!length || *length < 0) {
      row.resize(kProfileBufferLength, U'\0');  // a length that fails leaves the whole buffer
      InvalidLength();
    }
    row.resize(static_cast<size_t>(std::min<int64_t>(*length, kProfileBufferLength)), U'\0');
  });
  // The frame's two characters off. An empty row has no frame: its length less one is negative,
  // which fails both steps and leaves it empty. Said without raising, as most rows of a job are
  // empty and raising twice for each of them was most of the reader's time.
  if (!row.empty()) row.pop_back();
  if (!row.empty()) row.erase(0, 1);
}

}  // namespace

std::string JobFilePath(const std::string& program_dir) {
  return program_dir + "/" + std::string(kJobFileName);
}

bool JobFileExists(const std::string& path) {
  const fs::path file = PathFromUtf8(path);
  return IsJobFileEntry(file) && std::ifstream(file, std::ios::binary).is_open();
}

std::u32string ReadProfileValue(const Profile& profile, const std::u32string& section,
                                const std::u32string& key) {
  std::u32string buffer = profile.Value(section, key).value_or(std::u32string());
  buffer.resize(kProfileBufferLength, U'\0');  // the reader never hands out more than 254
  return buffer;
}

bool LoadJob(JobState& job, const std::string& program_dir, RunTrace* trace) {
  std::string ignored;
  return LoadJobFile(job, program_dir, &ignored, trace) == JobLoad::kLoaded;
}

JobLoad LoadJobFile(JobState& job, const std::string& program_dir, std::string* problem,
                    RunTrace* trace) {
  const FileRead read = ReadFileBeside(program_dir, kJobFileName, kJobFileLimit,
                                       /*truncate_at_limit=*/false, /*exact_name=*/true);
  if (read.status == FileRead::Status::kMissing) return JobLoad::kMissing;
  if (read.status == FileRead::Status::kFailed) {
    *problem =
        "the job file " + ShownPath(JobFilePath(program_dir)) + " cannot be read: " + read.cause;
    return JobLoad::kUnreadable;
  }
  if (trace != nullptr) {
    trace->Note("job file", JobFilePath(program_dir));
    trace->job_text = read.bytes;
  }
  ReadJobText(job, read.bytes, trace);
  return JobLoad::kLoaded;
}

void ReadJobText(JobState& job, std::string_view bytes, RunTrace* trace) {
  // The keys are the same for every job: made once.
  static const ProfileKeys keys{JobKeys()};
  const Profile profile = Profile::Parse(bytes, keys);
  if (trace != nullptr) {
    trace->Note("encoding", profile.encoding());
    if (profile.encoding().find("no locale set") != std::string::npos) {
      trace->Problem(
          "the job is not UTF-8 and its caller set no locale: read as code page 1252; "
          "start tolv with LANG set to the caller's language");
    }
  }

  Step([&] { job.PrintJob.Blank = ReadInt16(profile, U"BLANK"); });
  Step([&] { job.PrintJob.PaperType = ReadInt16(profile, U"PAPERTYPE"); });
  Step([&] { job.PrintJob.OffsetX = ReadInt16(profile, U"OFFSETX"); });
  Step([&] { job.PrintJob.OffsetY = ReadInt16(profile, U"OFFSETY"); });
  Step([&] {
    std::u32string face = ReadProfileValue(profile, U"FONT", U"Value");
    std::erase(face, U'\0');
    job.FontFace = std::move(face);
  });

  // Out of 80 to 120 per cent the zoom is reset to 100, not clamped.
  Step([&] { job.Zoom = LeadingNumber(ReadProfileValue(profile, U"ZOOM", U"Value")); });
  Step([&] {
    if (job.Zoom > 120 || job.Zoom < 80) job.Zoom = 100;
  });
  Step([&] { job.Zoom = DivideDouble(job.Zoom, 100); });

  for (int i = 0; i < kRowCount - 1; ++i) LoadRow(job, profile, i, trace);
  job.Rows[kRowCount - 1].clear();
}

}  // namespace tolv
