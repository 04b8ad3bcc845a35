// Reading a file beside the program without letting the file decide how long that takes or how
// much memory it needs. The backend of the machine implements it.
#ifndef TOLV_RUNTIME_FILE_READER_H_
#define TOLV_RUNTIME_FILE_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/quoted.h"

namespace tolv {

struct FileRead {
  enum class Status {
    kRead,     // `bytes` holds the file, up to the limit asked for
    kMissing,  // no entry of that exact name
    kFailed,   // it is there but cannot be read: `cause` says why
  };
  Status status = Status::kMissing;
  std::string bytes;
  std::string cause;
};

// Reads `name` in `directory`. The file is opened from a descriptor of the directory (so a
// directory path near the system's length limit still works), without blocking and without
// following it onto a terminal; it is checked on the opened descriptor (a regular file, never a
// pipe or device swapped in after a check of the name), and read at most to the size the
// descriptor gave when opened.
// - `limit`: a larger file fails ("larger than ..."); with `truncate_at_limit` it is read to
//   `limit` bytes instead.
// - `exact_name`: when the directory can be listed, an entry of exactly `name`, letter case
//   included, must be there (a file system that ignores case finds "zobax.qjt" for "ZOBAX.QJT").
FileRead ReadFileBeside(const std::string& directory, std::string_view name, size_t limit,
                        bool truncate_at_limit = false, bool exact_name = false);

// A limit as the reasons name it: "1 MiB" for whole mebibytes, else "N bytes".
inline std::string SizeLimitText(size_t bytes) {
  return bytes % (size_t{1} << 20) == 0 ? std::to_string(bytes >> 20) + " MiB"
                                        : std::to_string(bytes) + " bytes";
}

// A read that failed, saying why.
inline FileRead FailedRead(std::string cause) {
  FileRead read;
  read.status = FileRead::Status::kFailed;
  read.cause = std::move(cause);
  return read;
}

// The start of ReadFileBeside's read of a file of `size` bytes: `bytes` sized to what is to be
// read (the whole file, or `limit` bytes where it may be cut there), or the failure of a file
// larger than `limit` that may not be cut.
inline FileRead SizedRead(uint64_t size, size_t limit, bool truncate_at_limit) {
  if (size > limit && !truncate_at_limit) {
    return FailedRead("it is larger than " + SizeLimitText(limit));
  }
  FileRead read;
  read.status = FileRead::Status::kRead;
  read.bytes.resize(static_cast<size_t>(size > limit ? limit : size));
  return read;
}

// A file read in pieces, opened and checked as ReadFileBeside does, and read at most to the
// smaller of its size when opened and `limit`: what lies beyond is never seen, as if the file
// ended there.
class BoundedFile {
 public:
  BoundedFile(const std::string& path, uint64_t limit);
  ~BoundedFile();
  BoundedFile(const BoundedFile&) = delete;
  BoundedFile& operator=(const BoundedFile&) = delete;

  // kRead when open; otherwise kMissing or kFailed with cause().
  FileRead::Status status() const { return status_; }
  const std::string& cause() const { return cause_; }
  // The bytes that can be read in all: the file's size when opened, at most `limit`.
  uint64_t size() const { return end_; }
  // Up to `size` bytes; fewer only at the (bounded) end. -1 on a read error, with cause().
  long long Read(unsigned char* data, size_t size);

 private:
  int fd_ = -1;
  uint64_t offset_ = 0;
  uint64_t end_ = 0;
  FileRead::Status status_ = FileRead::Status::kMissing;
  std::string cause_;
};

}  // namespace tolv

#endif  // TOLV_RUNTIME_FILE_READER_H_
