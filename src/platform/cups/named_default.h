// Which queue is the default printer: the choice the user made where libcups reads it (the
// environment, lpoptions, client.conf), else the scheduler's own default.
#ifndef TOLV_PLATFORM_CUPS_NAMED_DEFAULT_H_
#define TOLV_PLATFORM_CUPS_NAMED_DEFAULT_H_

#include <string>

#include "platform/cups/scheduler_link.h"

namespace tolv {

// What the user chose, in the places libcups reads them, in its order. A choice that fails is a
// failure; only the defaults of the machine may mean "no printer".
struct UserChoice {
  std::string server_from;  // where a server was named ("" when none was)
  std::string name;         // the default queue named by the user ("" when none)
  std::string instance;
  std::string name_from;
};

UserChoice ReadUserChoice();

// Why this machine has printing set up though no scheduler listens at `server` (`refusal`: the
// errno of the refused connection), as the end of a line; "" when it has none, and only then is
// it a machine without a printer. Set up: a default queue the user named (LPDEST, PRINTER,
// lpoptions), a scheduler's socket that is there but refuses, queues in printers.conf of the
// scheduler's configuration folder (CUPS_SERVERROOT, else /etc/cups), or a printers.conf there
// that cannot be read (the scheduler keeps it readable to itself alone). A server named by
// CUPS_SERVER or client.conf is the caller's to report.
std::string PrintingSetUp(const UserChoice& choice, const std::string& server, int refusal);

// The environment variable `name`, "" when unset.
std::string Environment(const char* name);

// The queue's name, with "/instance" when the default is an instance.
std::string QueueName(const std::string& name, const std::string& instance);

// Asks the scheduler for the queue `name`, or for its default queue when `name` is empty, and
// returns the queue's name. "" with `*missing` when the scheduler answered that there is none,
// "" with `*cause` when it did not answer properly.
std::string AskForQueue(SchedulerLink& link, const std::string& name, bool* missing,
                        std::string* cause);

// The queue's printer-state-message ("Paused", "Rejecting Jobs", or the administrator's reason);
// "" when it has none or the scheduler does not say.
std::string AskStateMessage(SchedulerLink& link, const std::string& name);

}  // namespace tolv

#endif  // TOLV_PLATFORM_CUPS_NAMED_DEFAULT_H_
