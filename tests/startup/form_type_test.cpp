#include "startup/form_type.h"

#include <gtest/gtest.h>

#include "platform/recording/recording.h"

namespace tolv {
namespace {

JobState JobOfBlank(int16_t blank) {
  JobState job;
  job.PrintJob.Blank = blank;
  return job;
}

TEST(InitFormTypeTest, KnownFormTypesTakeTheirRowOfTheTable) {
  struct Row {
    int16_t blank;
    const char* picture;
    int16_t last_row;
    double pitch;
    bool second_copy;
  };
  const Row rows[] = {
      {1, "/p/KORDEL1A.GFX", 10, 102.0, true}, {2, "/p/KORDEL2A.GFX", 10, 102.0, true},
      {3, "/p/KORDEL3A.GFX", 12, 140.8, true}, {4, "/p/KORDEL4A.GFX", 12, 140.8, true},
      {5, "/p/KORDEL5A.GFX", 17, 142.6, true}, {6, "/p/KORDEL6A.GFX", 29, 140.8, false},
      {7, "/p/KORDEL7A.GFX", 11, 102.0, true},
  };
  for (const Row& row : rows) {
    JobState job = JobOfBlank(row.blank);
    InitFormType(job, "/p");
    SCOPED_TRACE(row.blank);
    EXPECT_EQ(job.PrintJob.FormImagePath, row.picture);
    EXPECT_EQ(job.PrintJob.CopyImagePath, row.second_copy ? row.picture : "");
    EXPECT_EQ(job.PrintJob.LastRowIndex, row.last_row);
    EXPECT_EQ(job.FormPitch, row.pitch);
  }
}

TEST(InitFormTypeTest, UnknownFormTypesGetTheBareNameAndKeepRowsAndPitch) {
  for (int16_t blank : {0, 8, -1, 32767}) {
    JobState job = JobOfBlank(blank);
    InitFormType(job, "/p");
    SCOPED_TRACE(blank);
    EXPECT_EQ(job.PrintJob.FormImagePath, "/p/KORDELA.GFX");
    EXPECT_EQ(job.PrintJob.CopyImagePath, "/p/KORDELA.GFX");
    EXPECT_EQ(job.PrintJob.LastRowIndex, 0);
    EXPECT_EQ(job.FormPitch, 0.0);
  }
}

TEST(InitPrinterMetricsTest, FactorsAreThePrintableExtentInPixelsOverMillimetres) {
  recording::PrinterSetup setup;  // 600 dpi, 4961 x 7016
  recording::RecordingPlatform platform(setup);
  JobState job;
  InitPrinterMetrics(job, platform.DefaultPrinter());
  // Each extent is rounded to single before the division.
  const double mm_x = static_cast<float>(4961 * 25.4 / 600);
  const double mm_y = static_cast<float>(7016 * 25.4 / 600);
  EXPECT_DOUBLE_EQ(job.PixelsPerMmX, 4961.0 / mm_x);
  EXPECT_DOUBLE_EQ(job.PixelsPerMmY, 7016.0 / mm_y);
  EXPECT_NEAR(job.PixelsPerMmX, 23.622, 0.001);
  EXPECT_NEAR(job.PixelsPerMmY, 23.622, 0.001);
  EXPECT_EQ(platform.printer().ScaleMode(), 6);  // left in millimetres
}

TEST(InitPrinterMetricsTest, DifferentResolutionsAcrossAndDownGiveTwoFactors) {
  recording::PrinterSetup setup;
  setup.dpi_x = 600;
  setup.dpi_y = 300;
  setup.width_px = 4800;
  setup.height_px = 3300;
  recording::RecordingPlatform platform(setup);
  JobState job;
  InitPrinterMetrics(job, platform.DefaultPrinter());
  EXPECT_NEAR(job.PixelsPerMmX, 600 / 25.4, 1e-4);
  EXPECT_NEAR(job.PixelsPerMmY, 300 / 25.4, 1e-4);
}

TEST(InitPrinterMetricsTest, WithoutAPrinterTheFactorsStayZero) {
  recording::PrinterSetup setup;
  setup.available = false;
  recording::RecordingPlatform platform(setup);
  JobState job;
  InitPrinterMetrics(job, platform.DefaultPrinter());
  EXPECT_EQ(job.PixelsPerMmX, 0.0);
  EXPECT_EQ(job.PixelsPerMmY, 0.0);
}

}  // namespace
}  // namespace tolv
