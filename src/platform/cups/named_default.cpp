#include "platform/cups/named_default.h"

#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace tolv {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

namespace {

bool StartsWithWord(const std::string& line, const char* word, std::string* rest) {
  const size_t length = std::strlen(word);
  if (line.size() <= length || strncasecmp(line.c_str(), word, length) != 0 ||
      !std::isspace(static_cast<unsigned char>(line[length]))) {
    return false;
  }
  const size_t start = line.find_first_not_of(" \t", length);
  if (start == std::string::npos) return false;
  *rest = line.substr(start);
  return true;
}

// The value of the first "<directive> value" line of a configuration file ("" when none), as
// libcups reads client.conf and lpoptions.
std::string DirectiveIn(const std::string& path, const char* directive) {
  std::ifstream file(path);
  std::string line;
  std::string value;
  while (std::getline(file, line)) {
    if (StartsWithWord(line, directive, &value)) {
      const size_t end = value.find_first_of(" \t\r");
      return value.substr(0, end);
    }
  }
  return "";
}

std::string HomeFile(const char* name) {
  const std::string home = Environment("HOME");
  return home.empty() ? "" : home + "/.cups/" + name;
}

std::string ServerRootFile(const char* name) {
  const std::string root = Environment("CUPS_SERVERROOT");
  return (root.empty() ? std::string("/etc/cups") : root) + "/" + name;
}

}  // namespace

UserChoice ReadUserChoice() {
  UserChoice choice;
  if (!Environment("CUPS_SERVER").empty()) {
    choice.server_from = "CUPS_SERVER";
  } else if (!HomeFile("client.conf").empty() &&
             !DirectiveIn(HomeFile("client.conf"), "ServerName").empty()) {
    choice.server_from = HomeFile("client.conf");
  } else if (!DirectiveIn(ServerRootFile("client.conf"), "ServerName").empty()) {
    choice.server_from = ServerRootFile("client.conf");
  }

  std::string named;
  if (!Environment("LPDEST").empty()) {
    named = Environment("LPDEST");
    choice.name_from = "LPDEST";
  } else if (!Environment("PRINTER").empty() && Environment("PRINTER") != "lp") {
    // libcups takes PRINTER=lp for the old System V default, not a queue's name.
    named = Environment("PRINTER");
    choice.name_from = "PRINTER";
  } else {
    for (const std::string& file : {HomeFile("lpoptions"), ServerRootFile("lpoptions")}) {
      if (file.empty()) continue;
      named = DirectiveIn(file, "Default");
      if (!named.empty()) {
        choice.name_from = file;
        break;
      }
    }
  }
  const size_t slash = named.find('/');
  choice.name = named.substr(0, slash);
  if (slash != std::string::npos) choice.instance = named.substr(slash + 1);
  return choice;
}

std::string PrintingSetUp(const UserChoice& choice, const std::string& server, int refusal) {
  if (!choice.name.empty()) {
    return "the default printer " + QueueName(choice.name, choice.instance) + " is named by " +
           choice.name_from;
  }
  if (server.starts_with("/") && refusal == ECONNREFUSED) {
    return "its socket is there (a scheduler is installed but not running)";
  }
  const std::string printers = ServerRootFile("printers.conf");
  std::ifstream file(printers);
  if (!file) {
    if (access(printers.c_str(), F_OK) == 0) {
      return printers + " is there (a scheduler is installed and keeps its queues in it)";
    }
    return "";
  }
  std::string line;
  // A queue is a section: "<Printer NAME>" or, for the scheduler's default, "<DefaultPrinter".
  while (std::getline(file, line)) {
    if (line.starts_with("<Printer ") || line.starts_with("<DefaultPrinter ")) {
      return "queues are defined in " + printers;
    }
  }
  return "";
}

std::string QueueName(const std::string& name, const std::string& instance) {
  return instance.empty() ? name : name + "/" + instance;
}

namespace {

Ipp PrinterRequest(const std::string& name, const char* attribute) {
  Ipp request(ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES));
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", 0,
                   "/printers/%s", name.c_str());
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               attribute);
  return request;
}

}  // namespace

std::string AskStateMessage(SchedulerLink& link, const std::string& name) {
  Ipp response(
      cupsDoRequest(link.get(), PrinterRequest(name, "printer-state-message").release(), "/"));
  if (response == nullptr || !Succeeded(cupsLastError())) return "";
  ipp_attribute_t* found = ippFindAttribute(response.get(), "printer-state-message", IPP_TAG_TEXT);
  const char* value = found == nullptr ? nullptr : ippGetString(found, 0, nullptr);
  return value == nullptr ? "" : value;
}

std::string AskForQueue(SchedulerLink& link, const std::string& name, bool* missing,
                        std::string* cause) {
  Ipp request(
      ippNewRequest(name.empty() ? IPP_OP_CUPS_GET_DEFAULT : IPP_OP_GET_PRINTER_ATTRIBUTES));
  if (!name.empty()) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", 0,
                     "/printers/%s", name.c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  }
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "printer-name");
  Ipp response(cupsDoRequest(link.get(), request.release(), "/"));
  const ipp_status_t status = cupsLastError();
  if (link.answered() && status == IPP_STATUS_ERROR_NOT_FOUND) {
    *missing = true;
    return "";
  }
  if (response == nullptr || !link.answered() || !Succeeded(status)) {
    *cause = link.Cause();
    return "";
  }
  ipp_attribute_t* found = ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME);
  const char* value = found == nullptr ? nullptr : ippGetString(found, 0, nullptr);
  if (value == nullptr || *value == '\0') {
    *cause = "the print server answered without naming a queue";
    return "";
  }
  return value;
}

}  // namespace tolv
