// Windows: what the command line's operator options ask of the machine (the program directory,
// the libraries, the font GDI matches).
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "job/code_page.h"
#include "platform/default_platform.h"
#include "platform/win32/emf_document.h"
#include "platform/win32/gdi_destination.h"
#include "platform/win32/system/atomic_file.h"
#include "platform/win32/system/program_dir.h"
#include "runtime/quoted.h"

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

// A directory is told apart; the Linux build checks every kind of file.
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

namespace {

constexpr wchar_t kPdfPrinter[] = L"Microsoft Print to PDF";

bool PrinterInstalled(const wchar_t* name) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(name), &printer, nullptr)) return false;
  ClosePrinter(printer);
  return true;
}

// The paper the PDF printer is asked for: the default printer's (its saved settings' paper
// number), A4 without one, upright. The page's marks sit on it where the default printer's
// printable area puts them: the page is recorded from the page's corner.
DEVMODEW PreviewPaper() {
  DEVMODEW mode{};
  mode.dmSize = sizeof mode;
  mode.dmFields = DM_PAPERSIZE | DM_ORIENTATION;
  mode.dmPaperSize = DMPAPER_A4;
  mode.dmOrientation = DMORIENT_PORTRAIT;
  const std::wstring name = DefaultPrinterName();
  HANDLE printer = nullptr;
  if (name.empty() || !OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer, nullptr)) {
    return mode;
  }
  const LONG size = DocumentPropertiesW(nullptr, printer, const_cast<wchar_t*>(name.c_str()),
                                        nullptr, nullptr, 0);
  if (size >= static_cast<LONG>(sizeof(DEVMODEW))) {
    std::vector<BYTE> buffer(size);
    auto* saved = reinterpret_cast<DEVMODEW*>(buffer.data());
    if (DocumentPropertiesW(nullptr, printer, const_cast<wchar_t*>(name.c_str()), saved, nullptr,
                            DM_OUT_BUFFER) == IDOK &&
        (saved->dmFields & DM_PAPERSIZE) != 0 && saved->dmPaperSize != 0) {
      mode.dmPaperSize = saved->dmPaperSize;
    }
  }
  ClosePrinter(printer);
  return mode;
}

// The page printed to the system's PDF printer into `path`.
bool PrintToPdf(const std::string& path, std::string_view bytes, std::string* error) {
  // A full path: the PDF printer writes relative to its own working directory.
  std::wstring output = Utf8ToWide(path);
  std::vector<wchar_t> full(GetFullPathNameW(output.c_str(), 0, nullptr, nullptr) + 1);
  if (const DWORD n =
          GetFullPathNameW(output.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
      n > 0 && n < full.size()) {
    output.assign(full.data(), n);
  }
  DeleteFileW(output.c_str());
  const DEVMODEW paper = PreviewPaper();
  const std::string failed = PrintEmfDocument(kPdfPrinter, bytes, L"tolv: preview", output, &paper);
  if (failed.empty()) return true;
  *error = "\"" + WideToUtf8(kPdfPrinter) + "\" did not write " + ShownPath(path) + ": " + failed;
  return false;
}

}  // namespace

WholeFileWriter PreviewWriter(bool emf, std::string* why, int* status) {
  if (emf) return WriteEmfPages;
  if (!PrinterInstalled(kPdfPrinter)) {
    *why =
        "--pdf and --proof print to the printer \"Microsoft Print to PDF\", which is not "
        "installed; --emf FILE writes the same page as an enhanced metafile";
    *status = 2;
    return nullptr;
  }
  return PrintToPdf;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(WideToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}

std::optional<std::string> EnvironmentValue(const char* name) {
  const wchar_t* value = _wgetenv(Utf8ToWide(name).c_str());
  if (value == nullptr) return std::nullopt;
  return WideToUtf8(value);
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
