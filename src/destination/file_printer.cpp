#include "destination/file_printer.h"

#include <cmath>
#include <utility>

#include "destination/held_documents.h"
#include "runtime/quoted.h"
#include "runtime/units.h"

namespace tolv {
namespace {

constexpr double kA4WidthMm = 210;
constexpr double kA4HeightMm = 297;
constexpr double kFileDpi = 600;
constexpr char kKeptStem[] = "ZOBAX.";

}  // namespace

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

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

std::string KeptDocumentPath(const std::string& program_dir, std::string_view extension) {
  const std::string name = kKeptStem + std::string(extension);
  if (program_dir.empty()) return "./" + name;
  if (program_dir.back() == '/') return program_dir + name;
  return program_dir + "/" + name;
}

HandOverResult KeepBesideProgram(WholeFileWriter write, const std::string& program_dir,
                                 const FinishedDocument& document, const std::string& cause) {
  const std::string path = KeptDocumentPath(program_dir, document.extension);
  std::string error;
  HandOverResult result;
  result.ok = false;
  if (write(path, document.bytes, &error)) {
    result.message = OneLine(cause + "; the document was kept as " + ShownPath(path));
  } else {
    result.message = OneLine(cause + "; the document could not be kept either: " + error);
  }
  return result;
}

HandOverResult KeepAfterFailure(WholeFileWriter write, const std::string& program_dir,
                                const FinishedDocument& document, const std::string& cause) {
  HandOverResult result;
  result.ok = false;
  if (!document.held_as.empty()) {
    result.message = OneLine(cause + "; the document stays held as " + ShownPath(document.held_as));
    return result;
  }
  const Held held = HoldDocument(write, program_dir, document, cause);
  if (held.path.empty()) {
    // Never a run that loses both: the document goes where it went before there was a held
    // folder, and the line says why.
    return KeepBesideProgram(write, program_dir, document,
                             cause + "; it could not be held (" + held.error + ")");
  }
  result.message = cause + "; the document is held as " + ShownPath(held.path);
  if (!held.removed.empty()) {
    result.message += " (the oldest held " +
                      std::string(held.removed.size() == 1 ? "document, " : "documents, from ") +
                      held.removed.front() + ", made room)";
  }
  result.message = OneLine(result.message);
  return result;
}

FileDestination::FileDestination(std::string program_dir, WholeFileWriter write,
                                 std::string extension)
    : program_dir_(std::move(program_dir)),
      write_(write),
      extension_(std::move(extension)),
      device_(FilePrinterDevice()) {}

HandOverResult FileDestination::HandOver(const FinishedDocument& document) {
  std::string error;
  HandOverResult result;
  if (!write_(KeptDocumentPath(program_dir_, document.extension), document.bytes, &error)) {
    result.ok = false;
    result.message = OneLine("the document could not be kept: " + error);
  }
  return result;
}

FailedPrinterDestination::FailedPrinterDestination(std::string program_dir, std::string cause,
                                                   WholeFileWriter write)
    : program_dir_(std::move(program_dir)),
      cause_(std::move(cause)),
      write_(write),
      device_(FilePrinterDevice()) {}

HandOverResult FailedPrinterDestination::HandOver(const FinishedDocument& document) {
  return KeepAfterFailure(write_, program_dir_, document, cause_);
}

}  // namespace tolv
