#include "platform/win32/system/atomic_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/system/error_text.h"
#include "platform/win32/system/program_dir.h"
#include "runtime/quoted.h"

namespace tolv {

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  const std::wstring target = Utf8ToWide(path);
  const std::wstring temporary = target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(GetTickCount64());
  auto failed = [&](const char* step) {
    *error = std::string(step) + " " + ShownPath(path) + " failed (" +
             SystemErrorText(GetLastError()) + ")";
    return false;
  };
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return failed("creating a file beside");
  size_t written = 0;
  bool ok = true;
  while (ok && written < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1u << 30));
    DWORD done = 0;
    ok = WriteFile(file, bytes.data() + written, chunk, &done, nullptr) && done == chunk;
    written += done;
  }
  ok = ok && FlushFileBuffers(file);
  const DWORD write_error = GetLastError();
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(temporary.c_str());
    SetLastError(write_error);
    return failed("writing");
  }
  if (!MoveFileExW(temporary.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD move_error = GetLastError();
    DeleteFileW(temporary.c_str());
    SetLastError(move_error);
    return failed("replacing");
  }
  return true;
}

}  // namespace tolv
