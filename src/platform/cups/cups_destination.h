// The default printer: the default destination of the CUPS scheduler, measured once at start and
// handed the finished PDF as one job.
//
// Waits on the spooler are bounded: connecting takes at most kConnectTimeoutMs, and every wait for
// an answer at most kAnswerTimeoutSeconds (libcups first waits up to one second for an interim
// answer to each request). A scheduler that takes the connection but never answers so costs about
// six seconds at start; the run then renders on the file printer's device and keeps the document.
#ifndef TOLV_PLATFORM_CUPS_CUPS_DESTINATION_H_
#define TOLV_PLATFORM_CUPS_CUPS_DESTINATION_H_

#include <cups/cups.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/destination.h"
#include "platform/file_printer.h"

namespace tolv {

inline constexpr int kConnectTimeoutMs = 5000;
inline constexpr double kAnswerTimeoutSeconds = 5;

// Finds and measures the default printer, as libcups names it (lpoptions, LPDEST or PRINTER, the
// scheduler's default; the scheduler from CUPS_SERVER or client.conf):
// - no scheduler (connection refused, socket missing) or no default queue: the file printer;
// - a scheduler that cannot be reached or does not answer in time, or a default queue that cannot
//   be measured: a destination on the file printer's device whose HandOver keeps ZOBAX.PDF and
//   fails, naming the cause;
// - otherwise the queue, measured: resolution from its default (600 dpi when it names none), page
//   and printable area from its default media and that media's margins.
// Every destination keeps a document beside the program with `write` (the machine's atomic write).
// `job_title` names the job in the queue: never the job's content (names and addresses are other
// people's data).
std::unique_ptr<Destination> OpenDefaultDestination(const std::string& program_dir,
                                                    WholeFileWriter write,
                                                    const std::string& job_title = "tolv");

// The device that a media size (hundredths of millimetres, with margins) and a resolution give:
// page in points, printable area in whole device pixels. Nothing when the size is empty or its
// margins leave nothing printable.
std::optional<PrinterDevice> DeviceForMedia(const cups_size_t& media, double dpi_x, double dpi_y);

// A queue of the scheduler. HandOver sends the document as one job (the page's media, no
// scaling, one-sided, the queue's saved settings that do not move the page) over one connection;
// when the queue is stopped or does not accept jobs, or any call fails, the job is cancelled if it
// was created and the document is kept as ZOBAX.PDF.
class CupsDestination : public Destination {
 public:
  // Takes `dest` (freed with cupsFreeDests). `server` and `port` name the scheduler it came from.
  CupsDestination(std::string program_dir, std::string server, int port, cups_dest_t* dest,
                  PrinterDevice device, WholeFileWriter write);
  ~CupsDestination() override;
  CupsDestination(const CupsDestination&) = delete;
  CupsDestination& operator=(const CupsDestination&) = delete;

  const PrinterDevice& Device() const override { return device_; }
  std::string Describe() const override { return "queue " + queue_; }
  std::string Queue() const override { return queue_; }
  HandOverResult HandOver(const FinishedDocument& document) override;

  const std::string& queue() const { return queue_; }
  void set_job_title(std::string title) { job_title_ = std::move(title); }

 private:
  // Returns "" when the scheduler took the whole job, else the cause.
  std::string SendJob(std::string_view pdf);

  std::string program_dir_;
  std::string server_;
  int port_;
  cups_dest_t* dest_;
  std::string queue_;
  PrinterDevice device_;
  WholeFileWriter write_;
  std::string job_title_ = "tolv";
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CUPS_CUPS_DESTINATION_H_
