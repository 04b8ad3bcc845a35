// The Windows default printer as a destination: found with GetDefaultPrinterW, measured on its
// device context (GetDeviceCaps) and its saved settings (DEVMODE), and handed the GDI printer's
// pages (emf_document.h) as one spooler job. Without a default printer the document goes to the
// file printer (ZOBAX.EMF); a printer that cannot be opened or measured is a failed printer.
#ifndef TOLV_PLATFORM_WIN32_GDI_DESTINATION_H_
#define TOLV_PLATFORM_WIN32_GDI_DESTINATION_H_

#include <memory>
#include <string>

#include "destination/destination.h"
#include "destination/file_printer.h"

namespace tolv {

class GdiSystemDestination : public Destination {
 public:
  // `title` is the job's name in the spooler; a document it does not take is kept with `write`
  // beside the program.
  GdiSystemDestination(std::wstring printer, PrinterDevice device, std::string program_dir,
                       WholeFileWriter write, std::string title);

  const PrinterDevice& Device() const override { return device_; }
  std::string Describe() const override;
  std::string Queue() const override;
  HandOverResult HandOver(const FinishedDocument& document) override;
  HandOverResult Keep(const FinishedDocument& document, const std::string& cause) override {
    return KeepAfterFailure(write_, program_dir_, document, cause);
  }

 private:
  std::wstring printer_;
  PrinterDevice device_;
  std::string program_dir_;
  WholeFileWriter write_;
  std::string title_;
};

// Measures the printer `name`: its page, printable area and resolution. False with `cause` when
// it cannot be opened or measured.
bool MeasurePrinter(const std::wstring& name, PrinterDevice* device, std::string* cause);

// The default printer's destination, the file printer without one, a failed printer when it
// cannot be opened or measured.
std::unique_ptr<Destination> OpenDefaultGdiDestination(const std::string& program_dir,
                                                       WholeFileWriter write,
                                                       const std::string& title);

// The name of the system's default printer; empty when there is none.
std::wstring DefaultPrinterName();

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_GDI_DESTINATION_H_
