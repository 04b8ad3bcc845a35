// Job intake: the job file ZOBAX.QJT beside the program, read once into the job state.
#ifndef TOLV_JOB_JOB_FILE_H_
#define TOLV_JOB_JOB_FILE_H_

#include <string>
#include <string_view>

#include "job/job.h"
#include "job/profile.h"
#include "job/run_trace.h"

namespace tolv {

// The length of the buffer one profile read fills: a value of at most 254 characters, then NULs.
constexpr size_t kProfileBufferLength = 255;

// The program's directory followed by "/ZOBAX.QJT".
std::string JobFilePath(const std::string& program_dir);

// Whether the path names a regular file whose name is exactly "ZOBAX.QJT", letter case included,
// and that can be read. A directory, another letter case or an unreadable file count as missing.
// The name is compared with the directory's own entries, so a file system that ignores letter case
// cannot pass "zobax.qjt" off as the job file.
bool JobFileExists(const std::string& path);

// The most of a job file that is read: a full job is under 100 KB; a larger file is not a job.
constexpr size_t kJobFileLimit = 1 << 20;

enum class JobLoad {
  kLoaded,
  kMissing,     // no entry named exactly ZOBAX.QJT: nothing to print
  kUnreadable,  // it is there but cannot be opened or read, is not a regular file or is too large
};

// Reads the job file into the job state: Blank, PaperType, OffsetX, OffsetY, FontFace, Zoom and
// Rows. Returns kMissing or kUnreadable (with `problem` naming the file and the cause), having
// read nothing, when there is no job to read; kLoaded otherwise, whatever the file holds. Each
// step that fails is skipped and leaves its target as it was. The file is opened and read once,
// without blocking and at most to kJobFileLimit, and never written.
// `trace`, when given, learns how the text was decoded and what the lengths did to each row.
JobLoad LoadJobFile(JobState& job, const std::string& program_dir, std::string* problem,
                    RunTrace* trace = nullptr);

// What LoadJobFile does with the bytes of a job file once read (the fuzz target feeds it from
// memory): each step that fails is skipped and leaves its target as it was.
void ReadJobText(JobState& job, std::string_view bytes, RunTrace* trace = nullptr);

// LoadJobFile for callers that only ask whether a job was read.
bool LoadJob(JobState& job, const std::string& program_dir, RunTrace* trace = nullptr);

// One read: a 255-character buffer holding the value (at most 254 characters) followed by NULs;
// 255 NULs when the section or key is missing.
std::u32string ReadProfileValue(const Profile& profile, const std::u32string& section,
                                const std::u32string& key);

}  // namespace tolv

#endif  // TOLV_JOB_JOB_FILE_H_
