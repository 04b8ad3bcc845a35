// tolv-add-printer NAME PPD PORT [default]: adds a PostScript printer (wine's wineps driver with
// the given PPD) printing to PORT, a file path, and optionally makes it the default. For the wine
// prefix of the Windows tests; wine ships no tool that adds a printer.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fwprintf(stderr, L"usage: tolv-add-printer NAME PPD PORT [default]\n");
    return 64;
  }
  const std::wstring name = argv[1];
  const std::wstring ppd = argv[2];
  const std::wstring port = argv[3];
  wchar_t env[] = L"Windows x64";
  wchar_t driver_file[] = L"wineps.drv";
  // wineps reads the PPD from the driver directory, and AddPrinterDriverExW does not copy it
  // there: copy it first, under a name of its own.
  wchar_t dir[MAX_PATH];
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, env, 1, reinterpret_cast<BYTE*>(dir), sizeof dir,
                                  &needed)) {
    std::fwprintf(stderr, L"GetPrinterDriverDirectoryW failed: %lu\n", GetLastError());
    return 1;
  }
  const std::wstring ppd_name = name + L".ppd";
  const std::wstring installed = std::wstring(dir) + L"\\" + ppd_name;
  if (!CopyFileW(ppd.c_str(), installed.c_str(), FALSE)) {
    std::fwprintf(stderr, L"CopyFileW failed: %lu\n", GetLastError());
    return 1;
  }
  DRIVER_INFO_3W driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<wchar_t*>(name.c_str());
  driver.pEnvironment = env;
  driver.pDriverPath = driver_file;
  driver.pConfigFile = driver_file;
  driver.pDataFile = const_cast<wchar_t*>(installed.c_str());
  if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_ALL_FILES) &&
      GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED) {
    std::fwprintf(stderr, L"AddPrinterDriverExW failed: %lu\n", GetLastError());
    return 1;
  }
  wchar_t processor[] = L"WinPrint";
  wchar_t datatype[] = L"RAW";
  PRINTER_INFO_2W info{};
  info.pPrinterName = const_cast<wchar_t*>(name.c_str());
  info.pDriverName = const_cast<wchar_t*>(name.c_str());
  info.pPortName = const_cast<wchar_t*>(port.c_str());
  info.pPrintProcessor = processor;
  info.pDatatype = datatype;
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (printer != nullptr) {
    ClosePrinter(printer);
  } else if (GetLastError() != ERROR_PRINTER_ALREADY_EXISTS) {
    std::fwprintf(stderr, L"AddPrinterW failed: %lu\n", GetLastError());
    return 1;
  }
  if (argc > 4 && std::wstring(argv[4]) == L"default" && !SetDefaultPrinterW(name.c_str())) {
    std::fwprintf(stderr, L"SetDefaultPrinterW failed: %lu\n", GetLastError());
    return 1;
  }
  return 0;
}
