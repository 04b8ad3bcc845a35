// The file printer: where the document goes when the machine has no printer, and where it is kept
// when the printer fails, so that a run never loses what it rendered. The policy (the device, the
// name ZOBAX.<ext> beside the program, held/ for failures, the messages) is the same on every
// machine; the machine's backend supplies only the write that never leaves a half-written file.
#ifndef TOLV_DESTINATION_FILE_PRINTER_H_
#define TOLV_DESTINATION_FILE_PRINTER_H_

#include <string>
#include <string_view>

#include "destination/destination.h"

namespace tolv {

// Writes a whole file so that a reader finds either the earlier file or the complete new one. On
// failure returns false with `error` set to one line naming the step, the file and the cause.
using WholeFileWriter = bool (*)(const std::string& path, std::string_view bytes,
                                 std::string* error);

// A4 portrait at 600 dpi both ways, printable over the whole page: 4961 x 7016 device pixels.
PrinterDevice FilePrinterDevice();

// ZOBAX.<extension> in the program's directory.
std::string KeptDocumentPath(const std::string& program_dir, std::string_view extension);

// The text with every control character a blank: messages from the spooler may carry line
// breaks, and the caller prints exactly one line.
std::string OneLine(std::string text);

// Keeps a document that a printer failed to take: held in held/ beside the program
// (held_documents.h), else, when that folder cannot be made or written, as ZOBAX.<ext>. A document
// reprinted from held/ (`held_as`) stays where it is. Never ok; the message is one line naming
// `cause` and where the document went (or why it could not be kept either).
HandOverResult KeepAfterFailure(WholeFileWriter write, const std::string& program_dir,
                                const FinishedDocument& document, const std::string& cause);
// Keeps it as ZOBAX.<ext> beside the program, replacing an earlier one.
HandOverResult KeepBesideProgram(WholeFileWriter write, const std::string& program_dir,
                                 const FinishedDocument& document, const std::string& cause);

// No printer at all: the document is written as ZOBAX.<ext> beside the program.
class FileDestination : public Destination {
 public:
  // `extension` is the kind of document the machine's printer makes, for Describe.
  FileDestination(std::string program_dir, WholeFileWriter write, std::string extension = "PDF");

  const PrinterDevice& Device() const override { return device_; }
  std::string Describe() const override {
    return "the file printer (no printer: ZOBAX." + extension_ + " in the program directory)";
  }
  bool FilePrinter() const override { return true; }
  // Writes ZOBAX.<ext>. Not ok when it cannot be written (directory not writable, disk full); an
  // earlier file of that name then stays as it was.
  HandOverResult HandOver(const FinishedDocument& document) override;
  HandOverResult Keep(const FinishedDocument& document, const std::string& cause) override {
    return KeepAfterFailure(write_, program_dir_, document, cause);
  }

 private:
  std::string program_dir_;
  WholeFileWriter write_;
  std::string extension_;
  PrinterDevice device_;
};

// A printer that exists but could not be reached or measured: the document is rendered on the
// file printer's device, and handing it over keeps it as ZOBAX.<ext> and fails with `cause`.
class FailedPrinterDestination : public Destination {
 public:
  FailedPrinterDestination(std::string program_dir, std::string cause, WholeFileWriter write);

  const PrinterDevice& Device() const override { return device_; }
  std::string Describe() const override { return "a printer that failed: " + cause_; }
  HandOverResult HandOver(const FinishedDocument& document) override;
  HandOverResult Keep(const FinishedDocument& document, const std::string& cause) override {
    return KeepAfterFailure(write_, program_dir_, document, cause);
  }

  const std::string& cause() const { return cause_; }

 private:
  std::string program_dir_;
  std::string cause_;
  WholeFileWriter write_;
  PrinterDevice device_;
};

}  // namespace tolv

#endif  // TOLV_DESTINATION_FILE_PRINTER_H_
