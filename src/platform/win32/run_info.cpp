// Windows: what the command line's operator options ask of the machine (the program directory,
// the libraries, the font GDI matches).
#include <windows.h>

#include <cwchar>
#include <string>

#include "job/code_page.h"
#include "platform/default_platform.h"
#include "platform/win32/system/program_dir.h"

namespace tolv {

ProgramDirectory FoundProgramDirectory(const char*) {
  // Windows has no symbolic links in callers' folders to speak of: the module's own folder.
  return {ExecutableDirectory(), "the executable's directory"};
}

std::string LibraryVersions() { return "GDI, winspool and WIC of this Windows"; }

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
