// Writing a whole file so that a reader finds either the earlier file or the complete new one,
// never a half-written document, even across a crash or a full disk.
#ifndef TOLV_PLATFORM_POSIX_ATOMIC_FILE_H_
#define TOLV_PLATFORM_POSIX_ATOMIC_FILE_H_

#include <string>
#include <string_view>

namespace tolv {

// Writes `bytes` to `path`: into a new unnamed file in its directory (a named temporary file
// beside it where the file system cannot make one; mode 0644 less the umask), flushed to disk,
// given a temporary name and renamed over `path`, and the directory flushed. Temporary files of
// earlier runs whose process is gone are removed first, so a killed run leaves nothing for good.
// Whatever `path` named before (a file, a planted symbolic link) is replaced, never followed or
// written through; a regular file replaced keeps its permissions (and its owner, where the process
// may give it). On failure returns false with `error` set to one line naming the step, the file (in
// quotes) and the cause; the temporary file is gone and an earlier file at `path` is left as it
// was.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace tolv

#endif  // TOLV_PLATFORM_POSIX_ATOMIC_FILE_H_
