// The file printer: where the document goes when the machine has no printer, and where it is kept
// when the printer fails, so that a run never loses what it rendered.
#ifndef TOLV_PLATFORM_POSIX_FILE_DESTINATION_H_
#define TOLV_PLATFORM_POSIX_FILE_DESTINATION_H_

#include <string>
#include <string_view>

#include "platform/destination.h"

namespace tolv {

// A4 portrait at 600 dpi both ways, printable over the whole page: 4961 x 7016 device pixels.
PrinterDevice FilePrinterDevice();

// ZOBAX.PDF in the program's directory.
std::string KeptDocumentPath(const std::string& program_dir);

// Keeps a document that a printer failed to take as ZOBAX.PDF. Never ok; the message is one line
// naming `cause` and where the document went (or why it could not be kept either).
HandOverResult KeepAfterFailure(const std::string& program_dir, std::string_view pdf,
                                const std::string& cause);

// No printer at all: the document is written as ZOBAX.PDF beside the program.
class FileDestination : public Destination {
 public:
  explicit FileDestination(std::string program_dir);

  const PrinterDevice& Device() const override { return device_; }
  std::string Describe() const override {
    return "the file printer (no printer: ZOBAX.PDF in the program directory)";
  }
  // Writes ZOBAX.PDF atomically. Not ok when it cannot be written (directory not writable, disk
  // full); an earlier ZOBAX.PDF then stays as it was.
  HandOverResult HandOver(std::string_view pdf) override;

 private:
  std::string program_dir_;
  PrinterDevice device_;
};

// A printer that exists but could not be reached or measured: the document is rendered on the
// file printer's device, and handing it over keeps it as ZOBAX.PDF and fails with `cause`.
class FailedPrinterDestination : public Destination {
 public:
  FailedPrinterDestination(std::string program_dir, std::string cause);

  const PrinterDevice& Device() const override { return device_; }
  std::string Describe() const override { return "a printer that failed: " + cause_; }
  HandOverResult HandOver(std::string_view pdf) override;

  const std::string& cause() const { return cause_; }

 private:
  std::string program_dir_;
  std::string cause_;
  PrinterDevice device_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_POSIX_FILE_DESTINATION_H_
