#include "platform/win32/system/error_text.h"

#include <windows.h>

#include "platform/win32/system/program_dir.h"

namespace tolv {

std::string SystemErrorText(unsigned long error) {
  std::string text = "error " + std::to_string(error);
  wchar_t* words = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&words), 0, nullptr);
  std::wstring said = length > 0 && words != nullptr ? std::wstring(words, length) : L"";
  if (words != nullptr) LocalFree(words);
  // The system's words end in a full stop and a line break; the message goes on after them.
  for (wchar_t& c : said) {
    if (c == L'\r' || c == L'\n' || c == L'\t') c = L' ';
  }
  while (!said.empty() && (said.back() == L' ' || said.back() == L'.')) said.pop_back();
  if (!said.empty()) text += ": " + WideToUtf8(said);
  return text;
}

}  // namespace tolv
