#include "platform/cups/cups_destination.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/cups/job_options.h"
#include "platform/cups/named_default.h"
#include "platform/posix/process_guard.h"
#include "runtime/units.h"

namespace tolv {
namespace {

// The state of a queue that is not ready to print, from its freshly read attributes and its
// printer-state-message. A queue that does not accept jobs refuses them; a paused (stopped) one
// that accepts them takes the job and holds it until it is resumed, as lp's jobs are.
struct QueueCondition {
  std::string refusal;  // why it refuses the job; "" when it takes it
  std::string paused;   // the note of a paused queue; "" when it is not paused
};

QueueCondition ReadCondition(const cups_dest_t* dest, const std::string& queue,
                             const std::string& message) {
  const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
  const char* accepting =
      cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
  const char* reasons = cupsGetOption("printer-state-reasons", dest->num_options, dest->options);
  std::string why;
  if (!message.empty()) why = message;
  if (reasons != nullptr && std::strcmp(reasons, "none") != 0 &&
      std::strcmp(reasons, "paused") != 0) {
    why += (why.empty() ? "" : "; ") + std::string(reasons);
  }
  if (!why.empty()) why = " (" + why + ")";
  QueueCondition condition;
  if (accepting != nullptr && std::strcmp(accepting, "false") == 0) {
    condition.refusal = "the queue " + queue + " does not accept jobs" + why;
  } else if (state != nullptr && std::atoi(state) == IPP_PSTATE_STOPPED) {
    condition.paused = "the queue " + queue + " is paused" + why +
                       ": the job waits there until the queue is resumed";
  }
  return condition;
}

// A reply of the child that hands the job over: this mark and the note of a job taken, else the
// cause of the failure.
constexpr char kTaken = '\x06';

// What looking for the printer found, as the child hands it to the program.
struct Found {
  enum class Kind {
    kFile,    // no printer: the file printer
    kFailed,  // a printer that cannot be used, for `cause`
    kQueue,   // the queue `name` (with `instance`), measured as `device`
  };
  Kind kind = Kind::kFailed;
  std::string cause;
  std::string name;
  std::string instance;
  PrinterDevice device;

  static Found File() {
    Found found;
    found.kind = Kind::kFile;
    return found;
  }
  static Found Failed(std::string cause) {
    Found found;
    found.kind = Kind::kFailed;
    found.cause = std::move(cause);
    return found;
  }
};

// Lists travel as one line, their items apart by a unit separator.
constexpr char kItemSeparator = '\x1f';

std::string JoinItems(const std::vector<std::string>& items) {
  std::string line;
  for (const std::string& item : items) {
    if (!line.empty()) line += kItemSeparator;
    line += OneLine(item);
  }
  return line;
}

std::vector<std::string> SplitItems(const std::string& line) {
  std::vector<std::string> items;
  std::istringstream in(line);
  for (std::string item; std::getline(in, item, kItemSeparator);) items.push_back(item);
  return items;
}

std::string Serialize(const Found& found) {
  std::ostringstream out;
  out.precision(17);
  const PrinterDevice& d = found.device;
  out << static_cast<int>(found.kind) << "\n"
      << OneLine(found.cause) << "\n"
      << found.name << "\n"
      << found.instance << "\n"
      << OneLine(d.paper_from) << "\n"
      << OneLine(d.resolution_from) << "\n"
      << JoinItems(d.disagreements) << "\n"
      << JoinItems(d.dropped) << "\n"
      << OneLine(d.state) << "\n"
      << d.dpi_x << " " << d.dpi_y << " " << d.page_width_pt << " " << d.page_height_pt << " "
      << d.printable_left_px << " " << d.printable_top_px << " " << d.printable_width_px << " "
      << d.printable_height_px << " " << d.media << "\n";
  return out.str();
}

Found Deserialize(const std::string& text) {
  std::istringstream in(text);
  Found found;
  int kind = -1;
  in >> kind;
  in.ignore(1);
  std::getline(in, found.cause);
  std::getline(in, found.name);
  std::getline(in, found.instance);
  PrinterDevice& d = found.device;
  std::string line;
  std::getline(in, d.paper_from);
  std::getline(in, d.resolution_from);
  std::getline(in, line);
  d.disagreements = SplitItems(line);
  std::getline(in, line);
  d.dropped = SplitItems(line);
  std::getline(in, d.state);
  in >> d.dpi_x >> d.dpi_y >> d.page_width_pt >> d.page_height_pt >> d.printable_left_px >>
      d.printable_top_px >> d.printable_width_px >> d.printable_height_px >> d.media;
  if (!in || kind < static_cast<int>(Found::Kind::kFile) ||
      kind > static_cast<int>(Found::Kind::kQueue)) {
    return Found::Failed("the look for the printer gave an answer that cannot be read");
  }
  found.kind = static_cast<Found::Kind>(kind);
  return found;
}

// Runs in the child: finds the default queue as the user and the machine name it, and measures it.
Found LookForPrinter(SpoolerChannel& channel, const UserChoice& choice, const std::string& server,
                     int port) {
  const std::string who = "the print server " + server;
  const auto failed = [](std::string cause) { return Found::Failed(std::move(cause)); };
  channel.Step("connecting to " + who);
  std::string cause;
  int refusal = 0;
  switch (ProbeScheduler(server, port, &cause, &refusal)) {
    case Presence::kAbsent: {
      // A server the user named that is not there is a mistake to report, not "no printer".
      if (!choice.server_from.empty()) {
        return failed("the print server " + server + " named by " + choice.server_from +
                      " refuses connections (" + std::strerror(refusal) + ")");
      }
      // Only a machine with no printing set up at all has no printer; on any other, a scheduler
      // that is not running is a fault to report.
      const std::string set_up = PrintingSetUp(choice, server, refusal);
      if (set_up.empty()) return Found::File();
      return failed("no print server is running at " + server + " (" + std::strerror(refusal) +
                    "), though " + set_up);
    }
    case Presence::kUnreachable:
      return failed(choice.server_from.empty() ? cause
                                               : cause + " (named by " + choice.server_from + ")");
    case Presence::kListening:
      break;
  }
  SchedulerLink link(server, port);
  if (!link.Open()) return failed(link.Cause());

  channel.Step("asking " + who + " for the default printer");
  bool missing = false;
  const std::string name = AskForQueue(link, choice.name, &missing, &cause);
  if (missing && choice.name.empty()) return Found::File();
  if (missing) {
    return failed("the default printer " + QueueName(choice.name, choice.instance) +
                  " does not exist (named by " + choice.name_from + ")");
  }
  if (name.empty()) return failed(cause);

  const std::string queue = QueueName(name, choice.instance);
  channel.Step("measuring the printer " + queue + " at " + who);
  Dest dest(cupsGetNamedDest(link.get(), name.c_str(),
                             choice.instance.empty() ? nullptr : choice.instance.c_str()));
  if (dest == nullptr) {
    return failed("the printer " + queue + " could not be measured: " + link.Cause());
  }
  std::optional<PrinterDevice> device = Measure(link, dest.get(), &cause);
  if (!device) return failed("the printer " + queue + " could not be measured: " + cause);
  const QueueCondition condition = ReadCondition(dest.get(), queue, AskStateMessage(link, name));
  device->state = !condition.refusal.empty() ? condition.refusal : condition.paused;
  Found found;
  found.kind = Found::Kind::kQueue;
  found.name = name;
  found.instance = choice.instance;
  found.device = *device;
  return found;
}

std::string Seconds(int seconds) { return std::to_string(seconds) + " seconds"; }

// Why a call that did not finish ended, and what became of its job.
std::string Unfinished(const SpoolerCallResult& call, bool cancelled) {
  std::string cause;
  const std::string step = call.step.empty() ? "talking to the print server" : call.step;
  switch (call.end) {
    case SpoolerCallResult::End::kDeadline:
      cause = step + " did not end within the " + Seconds(kHandOverSeconds) + " allowed";
      break;
    case SpoolerCallResult::End::kStopped:
      cause = "the run was ended by " + SignalName(call.signal) + " while " + step;
      break;
    case SpoolerCallResult::End::kLost:
    case SpoolerCallResult::End::kFinished:
      cause = "the connection to the print server was lost while " + step;
      break;
  }
  if (call.job_id > 0) {
    cause += cancelled ? " (its job " + std::to_string(call.job_id) + " was cancelled)"
                       : " (its job " + std::to_string(call.job_id) + " could not be cancelled)";
  }
  return cause;
}

std::unique_ptr<Destination> FindDestination(const std::string& program_dir, WholeFileWriter write,
                                             const std::string& job_title) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(kHandOverSeconds);
  if (Environment("TOLV_PRINTER") == "file") {
    return std::make_unique<FileDestination>(program_dir, write);
  }

  const UserChoice choice = ReadUserChoice();
  // Read the scheduler's name afresh (CUPS_SERVER, client.conf, the local socket).
  cupsSetServer(nullptr);
  const std::string server = cupsServer();
  const int port = ippPort();
  const SpoolerCallResult call =
      CallSpooler(deadline, std::chrono::seconds(0), [&](SpoolerChannel& channel) {
        return Serialize(LookForPrinter(channel, choice, server, port));
      });
  if (call.end != SpoolerCallResult::End::kFinished) {
    return std::make_unique<FailedPrinterDestination>(program_dir,
                                                      Unfinished(call, /*cancelled=*/false), write);
  }
  const Found found = Deserialize(call.reply);
  if (found.kind == Found::Kind::kFile) {
    return std::make_unique<FileDestination>(program_dir, write);
  }
  if (found.kind == Found::Kind::kFailed) {
    return std::make_unique<FailedPrinterDestination>(program_dir, found.cause, write);
  }
  auto queue = std::make_unique<CupsDestination>(program_dir, server, port, found.name,
                                                 found.instance, found.device, deadline, write);
  queue->set_job_title(job_title);
  return queue;
}

// Cancels `job_id` on `name` over a connection of its own, within `deadline` (or, after a stop
// signal, within the time kept back for it).
bool CancelJob(const std::string& server, int port, const std::string& name, int job_id,
               Clock::time_point deadline) {
  const SpoolerCallResult call = CallSpooler(
      deadline, std::chrono::seconds(0),
      [&](SpoolerChannel&) -> std::string {
        SchedulerLink link(server, port);
        if (!link.Open()) return "no";
        return cupsCancelJob2(link.get(), name.c_str(), job_id, 0) == IPP_STATUS_OK ? "yes" : "no";
      },
      /*heed_stop_signal=*/false);
  return call.end == SpoolerCallResult::End::kFinished && call.reply == "yes";
}

}  // namespace

std::unique_ptr<Destination> OpenDefaultDestination(const std::string& program_dir,
                                                    WholeFileWriter write,
                                                    const std::string& job_title) {
  std::unique_ptr<Destination> found = FindDestination(program_dir, write, job_title);
  // A printer that failed already says why, a stop signal included.
  if (dynamic_cast<FailedPrinterDestination*>(found.get()) != nullptr) return found;
  return std::make_unique<StoppableDestination>(program_dir, std::move(found), write);
}

StoppableDestination::StoppableDestination(std::string program_dir,
                                           std::unique_ptr<Destination> inner,
                                           WholeFileWriter write)
    : program_dir_(std::move(program_dir)), inner_(std::move(inner)), write_(write) {}

HandOverResult StoppableDestination::HandOver(const FinishedDocument& document) {
  if (StopSignal() != 0) {
    return KeepAfterFailure(write_, program_dir_, document,
                            "the run was ended by " + SignalName(StopSignal()) +
                                " before the document was handed over");
  }
  return inner_->HandOver(document);
}

CupsDestination::CupsDestination(std::string program_dir, std::string server, int port,
                                 std::string name, std::string instance, PrinterDevice device,
                                 Clock::time_point deadline, WholeFileWriter write)
    : program_dir_(std::move(program_dir)),
      server_(std::move(server)),
      port_(port),
      name_(std::move(name)),
      instance_(std::move(instance)),
      queue_(QueueName(name_, instance_)),
      device_(std::move(device)),
      deadline_(deadline),
      write_(write) {}

HandOverResult CupsDestination::HandOver(const FinishedDocument& document) {
  // The queue is sent PDF. Another kind (a metafile held on a Windows machine and reprinted here)
  // would be taken by the scheduler, fail in its filters, and its held copy would be removed.
  if (document.extension != "PDF") {
    return KeepAfterFailure(write_, program_dir_, document,
                            "printing on " + queue_ +
                                " failed: the queue takes PDF documents, "
                                "and this one is " +
                                std::string(document.extension));
  }
  int job_id = 0;
  const std::string cause = SendJob(document.bytes, &job_id);
  if (cause.starts_with(kTaken)) {
    HandOverResult taken;
    taken.job_id = job_id;
    taken.note = cause.substr(1);
    return taken;
  }
  return KeepAfterFailure(write_, program_dir_, document,
                          "printing on " + queue_ + " failed: " + cause);
}

// Create the job, send its one document, finish it; cancel a job that was created when a later
// call fails or the time runs out, so that no half document prints. Every call goes over one
// connection, opened to the scheduler the queue was found on: cupsConnectDest would dial the host
// of the queue's URI (localhost:631), which a scheduler listening only on its socket does not
// serve.
std::string CupsDestination::SendJob(std::string_view pdf, int* job_id) {
  const std::string who = "the print server " + server_;
  const SpoolerCallResult call = CallSpooler(
      deadline_, std::chrono::seconds(kCancelReserveSeconds),
      [&](SpoolerChannel& channel) -> std::string {
        channel.Step("connecting to " + who);
        SchedulerLink link(server_, port_);
        if (!link.Open()) return link.Cause();
        channel.Step("reading the state of the queue " + queue_ + " at " + who);
        Dest fresh(cupsGetNamedDest(link.get(), name_.c_str(),
                                    instance_.empty() ? nullptr : instance_.c_str()));
        if (fresh == nullptr) return link.answered() ? "the queue no longer exists" : link.Cause();
        const QueueCondition condition =
            ReadCondition(fresh.get(), queue_, AskStateMessage(link, name_));
        if (!condition.refusal.empty()) return condition.refusal;
        DestInfo info(cupsCopyDestInfo(link.get(), fresh.get()));
        if (info == nullptr) return link.Cause();

        channel.Step("creating the job at " + who);
        const JobOptions options(device_.media, fresh.get());
        int job_id = 0;
        if (!Succeeded(cupsCreateDestJob(link.get(), fresh.get(), info.get(), &job_id,
                                         job_title_.c_str(), options.count, options.options))) {
          return link.Cause();
        }
        if (job_id <= 0) return "the print server created the job without a number";
        channel.JobCreated(job_id);
        channel.Step("sending the document to " + who);
        if (cupsStartDestDocument(link.get(), fresh.get(), info.get(), job_id, job_title_.c_str(),
                                  CUPS_FORMAT_PDF, 0, nullptr,
                                  /*last_document=*/1) != HTTP_STATUS_CONTINUE ||
            cupsWriteRequestData(link.get(), pdf.data(), pdf.size()) != HTTP_STATUS_CONTINUE ||
            (channel.Step("finishing the job at " + who),
             !Succeeded(cupsFinishDestDocument(link.get(), fresh.get(), info.get())))) {
          // The job is cancelled over a connection of its own (this one may be stuck in the
          // middle of the refused request) with a plain Cancel-Job: libcups' own way first asks
          // the queue's attributes again, and retries a "busy" answer to that for 31 seconds.
          // The deadline still bounds it.
          SchedulerLink again(server_, port_);
          const bool cancelled = again.Open() && cupsCancelJob2(again.get(), name_.c_str(), job_id,
                                                                0) == IPP_STATUS_OK;
          return link.Cause() + " (its job " + std::to_string(job_id) +
                 (cancelled ? " was cancelled)" : " could not be cancelled)");
        }
        return kTaken + condition.paused;
      });
  *job_id = call.job_id;
  if (call.end == SpoolerCallResult::End::kFinished) {
    return call.reply.empty() ? "the hand-over ended without an answer" : call.reply;
  }
  const Clock::time_point cancel_by =
      call.end == SpoolerCallResult::End::kStopped
          ? Clock::now() + std::chrono::seconds(kCancelReserveSeconds)
          : deadline_;
  const bool cancelled =
      call.job_id > 0 && CancelJob(server_, port_, name_, call.job_id, cancel_by);
  return Unfinished(call, cancelled);
}

}  // namespace tolv
