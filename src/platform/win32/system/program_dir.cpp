#include "platform/win32/system/program_dir.h"

#include <windows.h>

#include <vector>

namespace tolv {

std::string WideToUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = static_cast<int>(utf8.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, wide.data(), size);
  return wide;
}

std::string ExecutableDirectory() {
  // A path may be longer than MAX_PATH (long-path aware systems, \\?\ prefixes): grow the buffer
  // until the name fits, as GetModuleFileNameW truncates silently otherwise.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      std::wstring path(buffer.data(), n);
      const size_t cut = path.find_last_of(L"\\/");
      if (cut == std::wstring::npos) return {};
      // A drive root keeps its separator's place as the folder itself ("C:").
      return WideToUtf8(std::wstring_view(path).substr(0, cut));
    }
    if (buffer.size() >= 32768) return {};  // the longest path Windows has
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace tolv
