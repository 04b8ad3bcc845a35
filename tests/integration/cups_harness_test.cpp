// The private scheduler that end-to-end printing tests run against: it takes a job on its default
// queue and hands it to the virtual printer, leaves the machine's own printing setup alone, and
// leaves nothing running once stopped.
#include "support/cups_harness.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

// Alive and not a zombie waiting for its (adoptive) parent.
bool Running(pid_t pid) {
  if (kill(pid, 0) != 0) return false;
  std::istringstream stat(ReadWholeFile("/proc/" + std::to_string(pid) + "/stat"));
  std::string skip, state;
  stat >> skip >> skip >> state;
  return state != "Z" && state != "X";
}

TEST(CupsHarnessTest, PrintsOnTheDefaultQueueAndStopsEverythingItStarted) {
  const bool had_lpoptions = fs::exists("/etc/cups/lpoptions");
  auto scheduler = std::make_unique<PrivateCupsScheduler>();
  if (!scheduler->skip_reason().empty()) GTEST_SKIP() << scheduler->skip_reason();
  ASSERT_TRUE(scheduler->started()) << scheduler->problem();

  const std::string dir = scheduler->dir();
  std::ofstream(dir + "/probe.pdf", std::ios::binary) << MinimalPdf("HARNESS PROBE");
  ASSERT_EQ(scheduler->Run("lpstat -d >" + dir + "/default.txt"), 0);
  EXPECT_EQ(ReadWholeFile(dir + "/default.txt"), "system default destination: Q\n");
  ASSERT_EQ(scheduler->Run("lp " + dir + "/probe.pdf"), 0);
  ASSERT_TRUE(scheduler->WaitForDocuments(1)) << "the job never reached the virtual printer";
  const std::string received = scheduler->ReceivedDocuments().at(0);
  ASSERT_EQ(std::system(("pdftotext '" + received + "' '" + dir + "/received.txt'").c_str()), 0);
  EXPECT_NE(ReadWholeFile(dir + "/received.txt").find("HARNESS PROBE"), std::string::npos);
  // The default was set in the private scheduler, not in the machine's lpoptions.
  EXPECT_EQ(fs::exists("/etc/cups/lpoptions"), had_lpoptions);

  std::vector<pid_t> pids;
  std::istringstream list(ReadWholeFile(dir + "/pids"));
  pid_t pid = 0;
  std::string name;
  while (list >> pid >> name) pids.push_back(pid);
  ASSERT_EQ(pids.size(), 3u);  // the bus, the printer, the scheduler

  scheduler.reset();
  for (pid_t started : pids) EXPECT_FALSE(Running(started)) << "pid " << started;
  EXPECT_FALSE(fs::exists(dir));
}

}  // namespace
}  // namespace tolv::testing
