// The options a job is sent with: the page's own media, unscaled and one-sided, and those of the
// queue's saved settings that leave the page where the layout put it.
#ifndef TOLV_PLATFORM_CUPS_JOB_OPTIONS_H_
#define TOLV_PLATFORM_CUPS_JOB_OPTIONS_H_

#include <cups/cups.h>

#include <string>
#include <string_view>

namespace tolv {

// A saved option of the queue that would move, scale, turn or leave out part of the page, or
// that tolv sets itself: the form must land where the layout put it.
bool MovesThePage(std::string_view name);

struct JobOptions {
  // The page's media without scaling, one-sided (a second page on the back of a pre-printed
  // sheet is lost stationery), and the queue's saved settings (lpoptions: tray, quality) that do
  // not move the page.
  JobOptions(const std::string& media, const cups_dest_t* saved) {
    count = cupsAddOption("print-scaling", "none", count, &options);
    if (!media.empty()) count = cupsAddOption("media", media.c_str(), count, &options);
    count = cupsAddOption("sides", "one-sided", count, &options);
    for (int i = 0; i < saved->num_options; ++i) {
      const cups_option_t& o = saved->options[i];
      if (!MovesThePage(o.name)) count = cupsAddOption(o.name, o.value, count, &options);
    }
  }
  ~JobOptions() { cupsFreeOptions(count, options); }
  JobOptions(const JobOptions&) = delete;
  JobOptions& operator=(const JobOptions&) = delete;

  int count = 0;
  cups_option_t* options = nullptr;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CUPS_JOB_OPTIONS_H_
