#include "platform/cups/job_options.h"

#include <strings.h>

#include <cstring>

namespace tolv {
namespace {

bool Is(std::string_view name, const char* other) {
  return name.size() == std::strlen(other) && strncasecmp(name.data(), other, name.size()) == 0;
}

bool StartsWith(std::string_view name, const char* prefix) {
  return name.size() >= std::strlen(prefix) &&
         strncasecmp(name.data(), prefix, std::strlen(prefix)) == 0;
}

}  // namespace

bool PassesToTheJob(std::string_view name, std::string* why) {
  for (const char* kept :
       {"media-source", "InputSlot", "media-type", "MediaType", "print-quality", "cupsPrintQuality",
        "print-color-mode", "ColorModel", "output-bin", "OutputBin", "finishings", "StapleLocation",
        "job-priority", "job-hold-until"}) {
    if (Is(name, kept)) return true;
  }
  if (why == nullptr) return false;
  if (StartsWith(name, "printer-") || StartsWith(name, "marker-") || Is(name, "device-uri") ||
      Is(name, "auth-info-required") || Is(name, "job-cancel-after")) {
    *why = "";
  } else if (Is(name, "media") || Is(name, "PageSize") || Is(name, "PageRegion")) {
    *why = "the job asks for the paper the page was laid out on";
  } else if (Is(name, "sides") || Is(name, "Duplex")) {
    *why = "one-sided: a page on the back of a pre-printed sheet is lost stationery";
  } else if (Is(name, "job-sheets")) {
    *why = "banner pages would use up stationery";
  } else {
    *why = "not one of the settings that leave the page where it was laid out";
  }
  return false;
}

std::vector<std::string> DroppedSettings(const cups_dest_t* saved, const std::string& media) {
  std::vector<std::string> dropped;
  for (int i = 0; i < saved->num_options; ++i) {
    const cups_option_t& o = saved->options[i];
    std::string why;
    if (PassesToTheJob(o.name, &why) || why.empty()) continue;
    const std::string_view value = o.value;
    // What the job asks for anyway changes nothing.
    const bool neutral = (Is(o.name, "media") && value == media) ||
                         ((Is(o.name, "number-up") || Is(o.name, "copies")) && value == "1") ||
                         (Is(o.name, "sides") && value == "one-sided") ||
                         (Is(o.name, "job-sheets") && (value == "none" || value == "none,none"));
    if (!neutral) dropped.push_back(std::string(o.name) + "=" + o.value + ": " + why);
  }
  return dropped;
}

}  // namespace tolv
