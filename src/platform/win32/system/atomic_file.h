// The file printer's write on Windows: a whole file or none.
#ifndef TOLV_PLATFORM_WIN32_SYSTEM_ATOMIC_FILE_H_
#define TOLV_PLATFORM_WIN32_SYSTEM_ATOMIC_FILE_H_

#include <string>
#include <string_view>

namespace tolv {

// Writes `bytes` to `path` (UTF-8): into a new temporary file beside it, flushed, then moved over
// the name (MoveFileExW replaces a file or a planted link, never writes through it). A reader sees
// the earlier file or the whole new one. On failure returns false with `error` set to one line,
// and the temporary file is gone.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_SYSTEM_ATOMIC_FILE_H_
