#include "platform/cups/job_options.h"

namespace tolv {

bool MovesThePage(std::string_view name) {
  for (const char* moving : {"fit-to-page",
                             "scaling",
                             "print-scaling",
                             "natural-scaling",
                             "ppi",
                             "number-up",
                             "number-up-layout",
                             "orientation-requested",
                             "landscape",
                             "page-ranges",
                             "position",
                             "page-left",
                             "page-right",
                             "page-top",
                             "page-bottom",
                             "mirror",
                             "media",
                             "PageSize",
                             "sides",
                             "Duplex"}) {
    if (name == moving) return true;
  }
  return name.starts_with("printer-");  // the queue's own state, not a setting
}

}  // namespace tolv
