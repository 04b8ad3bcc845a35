// The platform tolv runs on: the default printer renders PDF with Cairo and hands it to a
// destination (the spooler's default queue or the file printer), picture boxes draw text with
// Pango, pictures load with gdk-pixbuf. There is no window system.
#ifndef TOLV_PLATFORM_CAIRO_CAIRO_PLATFORM_H_
#define TOLV_PLATFORM_CAIRO_CAIRO_PLATFORM_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "platform/cairo/cairo_printer.h"
#include "platform/destination.h"
#include "platform/platform.h"

namespace tolv {

class CairoPlatform : public Platform {
 public:
  // Finds the destination of the default printer; called once, at the first DefaultPrinter(). A
  // factory that returns nothing (or raises RuntimeError) leaves the program without a printer.
  using DestinationFactory = std::function<std::unique_ptr<Destination>()>;

  // `errors` receives the one line about a document that could not be handed over.
  CairoPlatform(std::string program_directory, DestinationFactory find_destination,
                std::ostream& errors);
  CairoPlatform(std::string program_directory, DestinationFactory find_destination);

  std::string ProgramDirectory() override { return program_directory_; }
  Printer& DefaultPrinter() override;
  std::unique_ptr<PictureBox> CreatePictureBox(const PictureBoxDesign& design) override;
  PicturePtr LoadPicture(const std::string& path) override;
  void DoEvents() override {}
  // Ends a document still open; 2 when any hand-over failed, after its message on `errors` as
  // one line starting "tolv: ", else 0.
  int EndProgram() override;

 private:
  std::string program_directory_;
  DestinationFactory find_destination_;
  std::ostream& errors_;
  std::unique_ptr<CairoPrinter> printer_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_CAIRO_PLATFORM_H_
