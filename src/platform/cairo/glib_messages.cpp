#include "platform/cairo/glib_messages.h"

#include <glib.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "platform/posix/process_guard.h"

namespace tolv {
namespace {

GLogWriterOutput EndOnFatalMessage(GLogLevelFlags level, const GLogField* fields, gsize count,
                                   gpointer) {
  if ((level & (G_LOG_FLAG_FATAL | G_LOG_LEVEL_ERROR)) == 0) return G_LOG_WRITER_HANDLED;
  const char* message = "";
  const char* domain = "GLib";
  for (gsize i = 0; i < count; ++i) {
    if (fields[i].length != -1) continue;  // only text fields are read
    if (std::strcmp(fields[i].key, "MESSAGE") == 0) {
      message = static_cast<const char*>(fields[i].value);
    } else if (std::strcmp(fields[i].key, "GLIB_DOMAIN") == 0) {
      domain = static_cast<const char*>(fields[i].value);
    }
  }
  ClaimTheRunsEnd();
  // Memory is short: only fixed text is written.
  if (std::strstr(message, "failed to allocate") != nullptr) {
    std::cerr << "tolv: out of memory; nothing was printed\n" << std::flush;
  } else {
    std::cerr << "tolv: " << domain << " failed: ";
    for (const char* c = message; *c != '\0'; ++c) std::cerr << (*c == '\n' ? ' ' : *c);
    std::cerr << "; nothing was printed\n" << std::flush;
  }
  _exit(2);
}

}  // namespace

// GLib takes a writer once per process (a second call is itself fatal): a reprint that lays out
// several held jobs asks for it once per job.
void RouteGLibMessages() {
  static const bool routed = (g_log_set_writer_func(&EndOnFatalMessage, nullptr, nullptr), true);
  (void)routed;
}

}  // namespace tolv
