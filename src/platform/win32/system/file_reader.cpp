#include "runtime/file_reader.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>

#include "platform/win32/system/program_dir.h"

namespace tolv {
namespace {

// An open file handle, closed on every way out.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

// The system's text for `error`, on one line, in UTF-8.
std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) LocalFree(text);
  for (wchar_t& c : message) {
    if (c == L'\r' || c == L'\n' || c == L'\t') c = L' ';
  }
  while (!message.empty() && (message.back() == L' ' || message.back() == L'.')) {
    message.pop_back();
  }
  if (message.empty()) return "error " + std::to_string(error);
  return WideToUtf8(message);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// `directory` and `name` as one wide path. A path as long as MAX_PATH or longer gets the
// "\\?\" prefix, which turns off the length limit (and the system's tidying of the path, so
// the separators are made backslashes here).
std::wstring WidePath(const std::string& directory, std::string_view name) {
  std::wstring path = Utf8ToWide(directory);
  if (!path.empty() && !IsSeparator(path.back())) path += L'\\';
  path += Utf8ToWide(name);
  if (path.size() < MAX_PATH - 12 || path.starts_with(L"\\\\?\\")) return path;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  if (path.starts_with(L"\\\\") && !path.starts_with(L"\\\\.\\")) {
    return L"\\\\?\\UNC\\" + path.substr(2);
  }
  return path;
}

// Whether the directory of `path` lists an entry of exactly `name`, letter case included. The
// search by name ignores case and also matches short (8.3) names, so every match is compared.
// True when the directory cannot be listed: the exact name opened is then all there is.
bool ListsExactly(const std::wstring& path, std::string_view name) {
  const std::wstring wanted = Utf8ToWide(name);
  if (wanted.find_first_of(L"*?") != std::wstring::npos) return false;
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW(path.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool found = false;
  do {
    found = wanted == entry.cFileName;
  } while (!found && FindNextFileW(search, &entry));
  FindClose(search);
  return found;
}

struct Opened {
  HANDLE handle = INVALID_HANDLE_VALUE;  // the caller's to close
  FileRead::Status status = FileRead::Status::kMissing;
  std::string cause;
  uint64_t size = 0;
};

// Opens `path` for reading, letting others read, write, rename and delete it meanwhile (as a
// POSIX open would), and checks the opened handle: a file on disk, no directory, pipe or device
// (NUL, CON, COM1 are names in every folder).
Opened Open(const std::wstring& path) {
  Opened opened;
  // Backup semantics: a directory opens too, and is then named as one.
  opened.handle = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const HANDLE file = opened.handle;
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return opened;
    opened.status = FileRead::Status::kFailed;
    opened.cause = ErrorText(error);
    if (error == ERROR_PATH_NOT_FOUND)
      opened.cause = "its directory cannot be opened: " + opened.cause;
    return opened;
  }
  opened.status = FileRead::Status::kFailed;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    opened.cause = "it is not a regular file";
    return opened;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) {
    opened.cause = ErrorText(GetLastError());
    return opened;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    opened.cause = "it is a directory";
    return opened;
  }
  opened.status = FileRead::Status::kRead;
  opened.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return opened;
}

// Reads up to `size` bytes from the handle's position; fewer only at the end of the file.
bool ReadAll(HANDLE file, unsigned char* data, size_t size, size_t* done, std::string* cause) {
  *done = 0;
  while (*done < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - *done, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(file, data + *done, chunk, &n, nullptr)) {
      *cause = ErrorText(GetLastError());
      return false;
    }
    if (n == 0) break;
    *done += n;
  }
  return true;
}

}  // namespace

FileRead ReadFileBeside(const std::string& directory, std::string_view name, size_t limit,
                        bool truncate_at_limit, bool exact_name) {
  const std::wstring path = WidePath(directory, name);
  const Opened opened = Open(path);
  const Handle file(opened.handle);
  if (opened.status == FileRead::Status::kMissing) return {};
  if (opened.status == FileRead::Status::kFailed) return FailedRead(opened.cause);
  if (exact_name && !ListsExactly(path, name)) return {};
  FileRead read = SizedRead(opened.size, limit, truncate_at_limit);
  if (read.status != FileRead::Status::kRead) return read;
  const size_t size = read.bytes.size();
  size_t done = 0;
  // A file that grows meanwhile is read to the size it had; one that shrinks, to its end.
  std::string cause;
  if (!ReadAll(file.get(), reinterpret_cast<unsigned char*>(read.bytes.data()), size, &done,
               &cause)) {
    return FailedRead(cause);
  }
  read.bytes.resize(done);
  return read;
}

// fd_ holds a C runtime descriptor made from the handle: the shared declaration stays the same on
// every machine, and closing the descriptor closes the handle.
BoundedFile::BoundedFile(const std::string& path, uint64_t limit) {
  const size_t cut = path.find_last_of("/\\");
  const std::string directory = cut == std::string::npos ? "." : path.substr(0, cut + 1);
  const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  const Opened opened = Open(WidePath(directory, name));
  Handle file(opened.handle);
  status_ = opened.status;
  cause_ = opened.cause;
  if (status_ == FileRead::Status::kFailed && cause_.starts_with("its directory")) {
    status_ = FileRead::Status::kMissing;  // as a missing directory on POSIX
  }
  if (status_ != FileRead::Status::kRead) return;
  fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_RDONLY | _O_BINARY);
  if (fd_ < 0) {
    status_ = FileRead::Status::kFailed;
    cause_ = "it cannot be opened: no descriptor left";
    return;
  }
  file.release();
  end_ = std::min<uint64_t>(opened.size, limit);
}

BoundedFile::~BoundedFile() {
  if (fd_ >= 0) _close(fd_);
}

long long BoundedFile::Read(unsigned char* data, size_t size) {
  if (status_ != FileRead::Status::kRead) return -1;
  size = static_cast<size_t>(std::min<uint64_t>(size, end_ - offset_));
  size_t done = 0;
  if (!ReadAll(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)), data, size, &done, &cause_)) {
    return -1;
  }
  offset_ += done;
  return static_cast<long long>(done);
}

}  // namespace tolv
