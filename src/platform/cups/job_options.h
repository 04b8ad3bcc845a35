// The options a job is sent with: the page's own media, unscaled, one-sided, without banner pages,
// and those of the queue's saved settings that leave the page where the layout put it.
#ifndef TOLV_PLATFORM_CUPS_JOB_OPTIONS_H_
#define TOLV_PLATFORM_CUPS_JOB_OPTIONS_H_

#include <cups/cups.h>

#include <string>
#include <string_view>
#include <vector>

namespace tolv {

// Whether a saved setting of the queue may reach the job: only those on an explicit list (tray,
// media type and source, print quality, colour mode, output bin, finishing that leaves the page
// alone, priority, hold), in IPP's and the PPDs' spellings, whatever their letter case. Anything
// else may move, scale, turn, repeat or leave out the page. `why` (when given) says why one is
// kept out; "" for the queue's own state (printer-*, marker-*), which is no setting.
bool PassesToTheJob(std::string_view name, std::string* why = nullptr);

// The queue's saved settings kept out of the job, each "name=value: why"; the queue's state and
// values that change nothing (number-up=1, sides=one-sided, ...) are left out of the list.
std::vector<std::string> DroppedSettings(const cups_dest_t* saved, const std::string& media);

struct JobOptions {
  // The page's media without scaling, one-sided (a second page on the back of a pre-printed
  // sheet is lost stationery), no banner pages, and the queue's saved settings that pass.
  JobOptions(const std::string& media, const cups_dest_t* saved) {
    count = cupsAddOption("print-scaling", "none", count, &options);
    if (!media.empty()) count = cupsAddOption("media", media.c_str(), count, &options);
    count = cupsAddOption("sides", "one-sided", count, &options);
    count = cupsAddOption("job-sheets", "none", count, &options);
    for (int i = 0; i < saved->num_options; ++i) {
      const cups_option_t& o = saved->options[i];
      if (PassesToTheJob(o.name)) count = cupsAddOption(o.name, o.value, count, &options);
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
