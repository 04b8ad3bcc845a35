// Windows: what the command line's operator options ask of the machine (the program directory,
// the libraries, the font GDI matches).
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "job/code_page.h"
#include "platform/default_platform.h"
#include "platform/win32/system/atomic_file.h"
#include "platform/win32/system/program_dir.h"

namespace tolv {

ProgramDirectory FoundProgramDirectory(const char*) {
  // Windows has no symbolic links in callers' folders to speak of: the module's own folder.
  return {ExecutableDirectory(), "the executable's directory"};
}

std::string LibraryVersions() { return "GDI, winspool and WIC of this Windows"; }

// tolv.exe is a window-less program (the GUI subsystem), so that a caller that starts it without
// hiding it sees no console window flash. Such a program gets no console of its own: standard
// output and error are whatever the caller handed over (a file or pipe works as it is), and when
// it handed nothing, the messages and --help go to the console tolv was started from, if any.
void BoundStandardStreams() {
  auto unusable = [](DWORD which) {
    HANDLE handle = GetStdHandle(which);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE ||
           GetFileType(handle) == FILE_TYPE_UNKNOWN;
  };
  const bool out = unusable(STD_OUTPUT_HANDLE);
  const bool err = unusable(STD_ERROR_HANDLE);
  if ((!out && !err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (out && std::freopen("CONOUT$", "w", stdout) != nullptr) {
    SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
  }
  if (err && std::freopen("CONOUT$", "w", stderr) != nullptr) {
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr))));
  }
}

bool WriteStandardOutput(std::string_view text, std::string* cause) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
    return true;
  }
  *cause = "standard output did not take it";
  return false;
}

// The command line refuses --pdf and --proof here (the GDI printer makes no document), so only a
// directory is told apart; the Linux build checks every kind of file.
std::string RefusedOutput(const std::string& path, const std::vector<std::string>&) {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return "\"" + path + "\" cannot be written: it is a directory";
  }
  return "";
}

bool WriteOutput(const std::string& path, std::string_view bytes, std::string* error) {
  return WriteFileAtomically(path, bytes, error);
}

// GDI draws a character its font lacks as the font's box and never fails the page; --check,
// which would name them, is not available here.
std::u32string CharactersWithoutGlyph(const std::u32string&, const std::u32string&) { return {}; }

std::string MatchedFontFamily(const std::u32string& face) {
  const std::wstring wide = Utf8ToWide(ToUtf8(face));
  if (wide.size() >= LF_FACESIZE) return {};
  LOGFONTW font{};
  font.lfHeight = -100;
  font.lfWeight = FW_BOLD;
  font.lfCharSet = DEFAULT_CHARSET;
  wide.copy(font.lfFaceName, LF_FACESIZE - 1);
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return {};
  HFONT handle = CreateFontIndirectW(&font);
  std::string family;
  if (handle != nullptr) {
    HGDIOBJ old = SelectObject(dc, handle);
    wchar_t name[LF_FACESIZE] = {};
    if (GetTextFaceW(dc, LF_FACESIZE, name) > 0) {
      family = WideToUtf8(std::wstring_view(name, wcsnlen(name, LF_FACESIZE)));
    }
    SelectObject(dc, old);
    DeleteObject(handle);
  }
  DeleteDC(dc);
  return family;
}

}  // namespace tolv
