// Which of a queue's saved settings reach a job: only those on the list, in any spelling and
// letter case; everything that could move, scale, turn, repeat or drop the page stays out.
#include "platform/cups/job_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolv {
namespace {

TEST(JobOptionsTest, OnlyListedSettingsReachTheJobWhateverTheirSpelling) {
  const std::vector<std::pair<const char*, bool>> cases = {
      {"InputSlot", true},        {"inputslot", true},        {"media-source", true},
      {"MediaType", true},        {"media-type", true},       {"print-quality", true},
      {"cupsPrintQuality", true}, {"print-color-mode", true}, {"ColorModel", true},
      {"OutputBin", true},        {"output-bin", true},       {"finishings", true},
      {"job-priority", true},     {"job-hold-until", true},   {"Fit-To-Page", false},
      {"fitplot", false},         {"Number-Up", false},       {"nup", false},
      {"number_up", false},       {"Sides", false},           {"Duplex", false},
      {"Print-Scaling", false},   {"natural-scaling", false}, {"Page-Ranges", false},
      {"page-set", false},        {"PageSize", false},        {"PageRegion", false},
      {"pagesize", false},        {"media", false},           {"MirrorPrint", false},
      {"landscape", false},       {"orientation", false},     {"job-sheets", false},
      {"Resolution", false},      {"scaling", false},         {"position", false},
  };
  for (const auto& [name, passes] : cases) {
    std::string why = "unset";
    EXPECT_EQ(PassesToTheJob(name, &why), passes) << name;
    if (!passes) {
      EXPECT_NE(why, "") << name << " is dropped without a reason";
    }
  }
}

TEST(JobOptionsTest, TheJobIsUnscaledOneSidedWithoutBannersAndKeepsOnlyListedSettings) {
  cups_dest_t saved{};
  saved.num_options = cupsAddOption("Sides", "two-sided-long-edge", 0, &saved.options);
  saved.num_options = cupsAddOption("PageRegion", "Letter", saved.num_options, &saved.options);
  saved.num_options = cupsAddOption("job-sheets", "standard", saved.num_options, &saved.options);
  saved.num_options = cupsAddOption("InputSlot", "Tray2", saved.num_options, &saved.options);
  saved.num_options = cupsAddOption("printer-info", "x", saved.num_options, &saved.options);
  const JobOptions job("iso_a4_210x297mm", &saved);
  const auto value = [&](const char* name) {
    const char* v = cupsGetOption(name, job.count, job.options);
    return std::string(v == nullptr ? "(none)" : v);
  };
  EXPECT_EQ(value("print-scaling"), "none");
  EXPECT_EQ(value("sides"), "one-sided");
  EXPECT_EQ(value("media"), "iso_a4_210x297mm");
  EXPECT_EQ(value("job-sheets"), "none");
  EXPECT_EQ(value("InputSlot"), "Tray2");
  EXPECT_EQ(value("PageRegion"), "(none)");
  const std::vector<std::string> dropped = DroppedSettings(&saved, "iso_a4_210x297mm");
  ASSERT_EQ(dropped.size(), 3u);  // printer-info is the queue's, not a setting
  EXPECT_EQ(dropped[0].substr(0, dropped[0].find(':')), "job-sheets=standard");
  cupsFreeOptions(saved.num_options, saved.options);
}

}  // namespace
}  // namespace tolv
