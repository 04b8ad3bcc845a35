// Where the operator says a document goes (tolv --pdf FILE, --proof FILE): the name is looked at
// with lstat before anything is written, so that an output can never replace a device, a pipe,
// the job, the program or its forms.
#ifndef TOLV_PLATFORM_POSIX_OUTPUT_FILE_H_
#define TOLV_PLATFORM_POSIX_OUTPUT_FILE_H_

#include <string>
#include <string_view>
#include <vector>

namespace tolv {

// Why `path` may not be written, as one line; empty when it may. Refused: any of `kept` (the job
// file, the executable, the form files, tolv.conf; compared by the file they name, however
// spelled), a directory, a FIFO, a socket, a block device (also behind a symbolic link), and a
// new or replaced name in /dev, /proc or /sys.
std::string RefusedOutputFile(const std::string& path, const std::vector<std::string>& kept);

// Writes `bytes` to `path` as RefusedOutputFile allows, checked again at the write: a name of the
// program's standard output (/dev/stdout, also a pipe) is written there; a character device
// (/dev/null, a terminal) is written into; a regular file, a symbolic link to one or to nothing,
// or a missing name is replaced atomically, keeping an existing file's permissions.
bool WriteOutputFile(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace tolv

#endif  // TOLV_PLATFORM_POSIX_OUTPUT_FILE_H_
