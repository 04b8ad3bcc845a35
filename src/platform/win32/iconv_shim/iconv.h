// Until the code-page tables live in shared code, the POSIX code-page reader is built for Windows
// over this stand-in for iconv: it converts single bytes of the ANSI code page (GetACP(), whatever
// code page is asked for: on Windows the machine's code page is the one that applies) to UTF-32.
#ifndef TOLV_PLATFORM_WIN32_ICONV_SHIM_ICONV_H_
#define TOLV_PLATFORM_WIN32_ICONV_SHIM_ICONV_H_

#include <windows.h>

#include <cstddef>
#include <cstring>

using iconv_t = void*;

inline iconv_t iconv_open(const char*, const char*) {
  return reinterpret_cast<iconv_t>(static_cast<uintptr_t>(GetACP()));
}

inline int iconv_close(iconv_t) { return 0; }

inline size_t iconv(iconv_t cd, char** in, size_t* in_left, char** out, size_t* out_left) {
  if (in == nullptr || *in == nullptr) return 0;
  if (*in_left != 1 || *out_left < 4) return static_cast<size_t>(-1);
  wchar_t wide = 0;
  const UINT code_page = static_cast<UINT>(reinterpret_cast<uintptr_t>(cd));
  if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, *in, 1, &wide, 1) != 1) {
    return static_cast<size_t>(-1);
  }
  const char32_t cp = wide;
  std::memcpy(*out, &cp, 4);
  *in += 1;
  *in_left = 0;
  *out += 4;
  *out_left -= 4;
  return 0;
}

#endif  // TOLV_PLATFORM_WIN32_ICONV_SHIM_ICONV_H_
