// The default printer: the default destination of the CUPS scheduler, measured once at start and
// handed the finished PDF as one job.
//
// One deadline, kHandOverSeconds from the first look for the printer, bounds everything said to
// the scheduler, whatever it does (answers that trickle, "busy" answers that libcups retries,
// headers without end, a name server that never answers, a reader that takes the document slowly):
// each exchange runs in a child process that is ended at the deadline (spooler_call.h). Within
// it, connecting takes at most kConnectTimeoutMs and every wait for an answer at most
// kAnswerTimeoutSeconds, so a scheduler that takes the connection and never answers costs about
// six seconds.
#ifndef TOLV_PLATFORM_CUPS_CUPS_DESTINATION_H_
#define TOLV_PLATFORM_CUPS_CUPS_DESTINATION_H_

#include <cups/cups.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "destination/destination.h"
#include "destination/file_printer.h"
#include "platform/cups/queue_measure.h"
#include "platform/cups/scheduler_link.h"
#include "platform/cups/spooler_call.h"

namespace tolv {

inline constexpr int kHandOverSeconds = 30;
// Of the deadline, kept back for cancelling a job that was created and not finished.
inline constexpr int kCancelReserveSeconds = 2;

// Finds and measures the default printer. Only "there is no printer" means the file printer:
// - TOLV_PRINTER=file in the environment: the file printer, without looking for a scheduler;
// - no scheduler at the default local address (connection refused, no socket) and no server named
//   by the user (CUPS_SERVER, ServerName in client.conf): the file printer;
// - a scheduler that answers that it has no default queue, and no default named by the user
//   (LPDEST, PRINTER, the lpoptions default): the file printer;
// - anything else that fails (a named server that refuses or cannot be found, a named default
//   that does not exist, a failed or late answer, a queue that cannot be measured): a
//   destination on the file printer's device whose HandOver keeps ZOBAX.PDF and fails, naming
//   the cause;
// - otherwise the queue, measured: resolution from its default (600 dpi when it names none), page
//   and printable area from its default media and that media's margins.
// Whatever the destination, a stop signal that came before the hand-over keeps the document and
// fails. Every destination keeps a document beside the program with `write` (the machine's atomic
// write). `job_title` names the job in the queue: never the job's content (names and addresses are
// other people's data).
std::unique_ptr<Destination> OpenDefaultDestination(const std::string& program_dir,
                                                    WholeFileWriter write,
                                                    const std::string& job_title = "tolv");

// Any destination, made to keep the document and fail when a stop signal came before the
// document was handed over: the caller asked the run to end, and a document that comes out
// anyway would be a surprise.
class StoppableDestination : public Destination {
 public:
  StoppableDestination(std::string program_dir, std::unique_ptr<Destination> inner,
                       WholeFileWriter write);

  const PrinterDevice& Device() const override { return inner_->Device(); }
  std::string Describe() const override { return inner_->Describe(); }
  std::string Queue() const override { return inner_->Queue(); }
  bool FilePrinter() const override { return inner_->FilePrinter(); }
  HandOverResult HandOver(const FinishedDocument& document) override;
  HandOverResult Keep(const FinishedDocument& document, const std::string& cause) override {
    return KeepAfterFailure(write_, program_dir_, document, cause);
  }
  const Destination& inner() const { return *inner_; }

 private:
  std::string program_dir_;
  std::unique_ptr<Destination> inner_;
  WholeFileWriter write_;
};

// A queue of the scheduler. HandOver sends the document as one job (the page's media, no
// scaling, one-sided, the queue's saved settings that do not move the page) over one connection;
// when the queue is stopped or does not accept jobs, or any call fails or runs out of time, the
// job is cancelled if it was created and the document is kept as ZOBAX.PDF.
class CupsDestination : public Destination {
 public:
  CupsDestination(std::string program_dir, std::string server, int port, std::string name,
                  std::string instance, PrinterDevice device, Clock::time_point deadline,
                  WholeFileWriter write);

  const PrinterDevice& Device() const override { return device_; }
  std::string Describe() const override { return "queue " + queue_; }
  std::string Queue() const override { return queue_; }
  HandOverResult HandOver(const FinishedDocument& document) override;
  HandOverResult Keep(const FinishedDocument& document, const std::string& cause) override {
    return KeepAfterFailure(write_, program_dir_, document, cause);
  }

  // The queue's name, with "/instance" when the default is an instance.
  const std::string& queue() const { return queue_; }
  void set_job_title(std::string title) { job_title_ = std::move(title); }

 private:
  // Returns kTaken and a note (a paused queue) when the scheduler took the whole job, else the
  // cause; `job_id` is its number.
  std::string SendJob(std::string_view pdf, int* job_id);

  std::string program_dir_;
  std::string server_;
  int port_;
  std::string name_;
  std::string instance_;
  std::string queue_;
  PrinterDevice device_;
  Clock::time_point deadline_;
  WholeFileWriter write_;
  std::string job_title_ = "tolv";
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CUPS_CUPS_DESTINATION_H_
