#include "platform/posix/file_destination.h"

#include <cmath>
#include <utility>

#include "platform/file_reader.h"
#include "platform/posix/atomic_file.h"

namespace tolv {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72;
constexpr double kA4WidthMm = 210;
constexpr double kA4HeightMm = 297;
constexpr double kFileDpi = 600;
constexpr char kKeptName[] = "ZOBAX.PDF";

// Messages from the spooler may carry line breaks; the caller prints exactly one line.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

}  // namespace

PrinterDevice FilePrinterDevice() {
  PrinterDevice device;
  device.dpi_x = kFileDpi;
  device.dpi_y = kFileDpi;
  device.page_width_pt = kA4WidthMm / kMmPerInch * kPointsPerInch;
  device.page_height_pt = kA4HeightMm / kMmPerInch * kPointsPerInch;
  device.printable_left_px = 0;
  device.printable_top_px = 0;
  // 4960.6 and 7015.7 pixels: a partly covered pixel at the edge is still a pixel of the page.
  device.printable_width_px = std::round(kA4WidthMm / kMmPerInch * kFileDpi);
  device.printable_height_px = std::round(kA4HeightMm / kMmPerInch * kFileDpi);
  device.media = "iso_a4_210x297mm";
  return device;
}

std::string KeptDocumentPath(const std::string& program_dir) {
  if (program_dir.empty()) return std::string("./") + kKeptName;
  if (program_dir.back() == '/') return program_dir + kKeptName;
  return program_dir + "/" + kKeptName;
}

HandOverResult KeepAfterFailure(const std::string& program_dir, std::string_view pdf,
                                const std::string& cause) {
  const std::string path = KeptDocumentPath(program_dir);
  std::string error;
  HandOverResult result;
  result.ok = false;
  if (WriteFileAtomically(path, pdf, &error)) {
    result.message = OneLine(cause + "; the document was kept as " + Quoted(path));
  } else {
    result.message = OneLine(cause + "; the document could not be kept either: " + error);
  }
  return result;
}

FileDestination::FileDestination(std::string program_dir)
    : program_dir_(std::move(program_dir)), device_(FilePrinterDevice()) {}

HandOverResult FileDestination::HandOver(std::string_view pdf) {
  std::string error;
  HandOverResult result;
  if (!WriteFileAtomically(KeptDocumentPath(program_dir_), pdf, &error)) {
    result.ok = false;
    result.message = OneLine("the document could not be kept: " + error);
  }
  return result;
}

FailedPrinterDestination::FailedPrinterDestination(std::string program_dir, std::string cause)
    : program_dir_(std::move(program_dir)),
      cause_(std::move(cause)),
      device_(FilePrinterDevice()) {}

HandOverResult FailedPrinterDestination::HandOver(std::string_view pdf) {
  return KeepAfterFailure(program_dir_, pdf, cause_);
}

}  // namespace tolv
