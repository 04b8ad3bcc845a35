// What every real platform does the same way around its backends: the program's directory, the
// default printer made once, at the first DefaultPrinter() (a run without a job never looks for a
// printer), on the destination a factory finds, and the end of the program with its exit status and
// one line. A platform folder supplies the printer, picture boxes and picture loader of its
// libraries.
#ifndef TOLV_PLATFORM_PRINTER_PLATFORM_H_
#define TOLV_PLATFORM_PRINTER_PLATFORM_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "destination/destination.h"
#include "platform/platform.h"
#include "surface/document_printer.h"

namespace tolv {

class PrinterPlatform : public Platform {
 public:
  // Finds the destination of the default printer; called once, at the first DefaultPrinter(). A
  // factory that returns nothing (or raises RuntimeError) leaves the program without a printer.
  using DestinationFactory = std::function<std::unique_ptr<Destination>()>;

  // `errors` receives the one line about a document that could not be handed over.
  PrinterPlatform(std::string program_directory, DestinationFactory find_destination,
                  std::ostream& errors);

  std::string ProgramDirectory() override { return program_directory_; }
  Printer& DefaultPrinter() override;
  void DoEvents() override {}
  // Ends a document still open; 2 when any hand-over failed, after its message on `errors` as one
  // line starting "tolv: ", else 0.
  int EndProgram() override;

 protected:
  // The backend's printer on `destination` (nullptr: the machine has no printer).
  virtual std::unique_ptr<DocumentPrinter> MakePrinter(
      std::unique_ptr<Destination> destination) = 0;

 private:
  std::string program_directory_;
  DestinationFactory find_destination_;
  std::ostream& errors_;
  std::unique_ptr<DocumentPrinter> printer_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_PRINTER_PLATFORM_H_
