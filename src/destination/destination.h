// Where a finished print document goes: the default printer's queue, or the file printer
// (ZOBAX.<ext> beside the program). The printer backend renders on the destination's device and
// hands it the finished document once.
#ifndef TOLV_DESTINATION_DESTINATION_H_
#define TOLV_DESTINATION_DESTINATION_H_

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tolv {

// The device a document is rendered for, as the destination measured it.
struct PrinterDevice {
  double dpi_x = 600;
  double dpi_y = 600;
  // The page, in PostScript points (1/72 inch).
  double page_width_pt = 595.2756;  // A4
  double page_height_pt = 841.8898;
  // The printable area, in device pixels: its top-left corner on the page and its size.
  double printable_left_px = 0;
  double printable_top_px = 0;
  double printable_width_px = 4961;
  double printable_height_px = 7016;
  // The media the job asks for (a PWG self-describing name), so the spooler never rescales.
  std::string media = "iso_a4_210x297mm";
  // Where the page and the resolution came from, in a few words for a check ("" when the device
  // is the program's own, as the file printer's).
  std::string paper_from;
  std::string resolution_from;
  // Where what the page is laid out on and what the queue will print on disagree, one line each.
  std::vector<std::string> disagreements;
  // The queue's saved settings kept out of the job, each "name=value: why".
  std::vector<std::string> dropped;
  // The queue's state when it is not ready to print: paused or not accepting jobs, with its
  // message; "" when it is ready.
  std::string state;
};

// The outcome of handing a document over.
struct HandOverResult {
  bool ok = true;
  // When not ok: one line naming the cause and where the document was kept.
  std::string message;
  // The scheduler's number for the job it took; 0 when unknown or none.
  int job_id = 0;
  // When ok: what the operator should know of a job that was taken (a paused queue holds it).
  std::string note = {};
};

// Where a document put marks (text, lines, pictures), in device pixels from the printable area's
// top-left corner, over all its pages.
struct MarkedArea {
  bool any = false;
  double left = 0, top = 0, right = 0, bottom = 0;
  void Add(double x0, double y0, double x1, double y1) {
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    left = any ? std::min(left, x0) : x0;
    top = any ? std::min(top, y0) : y0;
    right = any ? std::max(right, x1) : x1;
    bottom = any ? std::max(bottom, y1) : y1;
    any = true;
  }
};

// One finished print document, of whatever kind the printer backend makes (a PDF from Cairo, an
// EMF from GDI).
struct FinishedDocument {
  std::string_view bytes;
  // The file name extension a copy kept beside the program takes: "PDF", "EMF".
  std::string_view extension;
  // Where it marks the page, when the backend says (a queue's correction must not move a mark
  // off the printable area).
  MarkedArea marks = {};
  // What the run knows of it, for the note of a copy held after a failure (held_documents.h):
  // the job's form type (0 unknown), the queue and the media it was rendered for.
  int form_type = 0;
  std::string_view queue = {};
  std::string_view media = {};
  // The printable area it was laid out for (PrintableArea in held_documents.h).
  std::string_view area = {};
  // The job it was made from, kept with a held copy so that a reprint can lay it out again.
  std::string_view job = {};
  // A document reprinted from where it is held: a failure leaves it there and writes no copy.
  std::string_view held_as = {};
};

class Destination {
 public:
  virtual ~Destination() = default;
  virtual const PrinterDevice& Device() const = 0;
  // Which printer this is, in a few words for a report ("queue Q", "the file printer").
  virtual std::string Describe() const { return "a printer"; }
  // The spooler's name of the queue; empty for the file printer and a printer that failed.
  virtual std::string Queue() const { return {}; }
  // True for the file printer: what it takes is a file beside the program, not a print.
  virtual bool FilePrinter() const { return false; }
  // Hands over one finished document. Never throws; on failure the document is held (in held/
  // beside the program, see held_documents.h) and the result says so.
  virtual HandOverResult HandOver(const FinishedDocument& document) = 0;
  // Keeps a finished document that must not be printed as it is (its page cannot be right), held
  // as a failed hand-over is; never ok, the message names `cause` and where the document
  // went. A destination that has nowhere to keep it says only the cause.
  virtual HandOverResult Keep(const FinishedDocument& document, const std::string& cause) {
    (void)document;
    return {false, cause};
  }
};

}  // namespace tolv

#endif  // TOLV_DESTINATION_DESTINATION_H_
