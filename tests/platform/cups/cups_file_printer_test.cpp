// The file printer and the measuring of a queue's device: what the page and the printable area
// come out as, and that a document is never lost when it cannot go where it should.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "destination/file_printer.h"
#include "destination/held_documents.h"
#include "platform/cups/cups_destination.h"
#include "platform/posix/atomic_file.h"
#include "support/cups_harness.h"
#include "support/temp_dir.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::RunInChild;

TEST(FilePrinterDeviceTest, IsA4PortraitAt600DpiPrintableToTheEdges) {
  const PrinterDevice device = FilePrinterDevice();
  EXPECT_EQ(device.dpi_x, 600);
  EXPECT_EQ(device.dpi_y, 600);
  EXPECT_NEAR(device.page_width_pt, 595.2756, 1e-4);
  EXPECT_NEAR(device.page_height_pt, 841.8898, 1e-4);
  EXPECT_EQ(device.printable_left_px, 0);
  EXPECT_EQ(device.printable_top_px, 0);
  // 210 mm and 297 mm at 600 dpi are 4960.6 and 7015.7 pixels.
  EXPECT_EQ(device.printable_width_px, 4961);
  EXPECT_EQ(device.printable_height_px, 7016);
  EXPECT_EQ(device.media, "iso_a4_210x297mm");
}

cups_size_t Media(const char* name, int width, int length, int left, int top, int right,
                  int bottom) {
  cups_size_t media{};
  std::strncpy(media.media, name, sizeof(media.media) - 1);
  media.width = width;
  media.length = length;
  media.left = left;
  media.top = top;
  media.right = right;
  media.bottom = bottom;
  return media;
}

TEST(DeviceForMediaTest, TakesThePageFromTheMediaAndThePrintableAreaFromItsMargins) {
  // A4 with 3.4 mm side and 6.35 mm top and bottom margins, as a common office printer reports.
  const auto device =
      DeviceForMedia(Media("iso_a4_210x297mm", 21000, 29700, 340, 635, 340, 635), 600, 600);
  ASSERT_TRUE(device.has_value());
  EXPECT_NEAR(device->page_width_pt, 595.2756, 1e-4);
  EXPECT_NEAR(device->page_height_pt, 841.8898, 1e-4);
  EXPECT_EQ(device->printable_left_px, 80);      // 80.3
  EXPECT_EQ(device->printable_top_px, 150);      // 150.0
  EXPECT_EQ(device->printable_width_px, 4800);   // 203.2 mm
  EXPECT_EQ(device->printable_height_px, 6716);  // 284.3 mm: 6715.7
  EXPECT_EQ(device->media, "iso_a4_210x297mm");
}

TEST(DeviceForMediaTest, KeepsTwoDifferentResolutionsApart) {
  // US Letter at 300 x 600 dpi, unequal margins.
  const auto device =
      DeviceForMedia(Media("na_letter_8.5x11in", 21590, 27940, 635, 1270, 0, 0), 300, 600);
  ASSERT_TRUE(device.has_value());
  EXPECT_EQ(device->dpi_x, 300);
  EXPECT_EQ(device->dpi_y, 600);
  EXPECT_NEAR(device->page_width_pt, 612, 1e-9);
  EXPECT_NEAR(device->page_height_pt, 792, 1e-9);
  EXPECT_EQ(device->printable_left_px, 75);
  EXPECT_EQ(device->printable_top_px, 300);
  EXPECT_EQ(device->printable_width_px, 2475);
  EXPECT_EQ(device->printable_height_px, 6300);
}

TEST(DeviceForMediaTest, RefusesMediaThatLeavesNothingToPrintOn) {
  EXPECT_FALSE(DeviceForMedia(Media("custom", 0, 29700, 0, 0, 0, 0), 600, 600));
  EXPECT_FALSE(DeviceForMedia(Media("custom", 21000, 29700, 10500, 0, 10500, 0), 600, 600));
  EXPECT_FALSE(DeviceForMedia(Media("custom", 21000, 29700, 0, 20000, 0, 9700), 600, 600));
  EXPECT_FALSE(DeviceForMedia(Media("custom", 21000, 29700, -1, 0, 0, 0), 600, 600));
  EXPECT_FALSE(DeviceForMedia(Media("iso_a4_210x297mm", 21000, 29700, 0, 0, 0, 0), 0, 600));
}

class FileDestinationTest : public ::testing::Test {
 protected:
  const testing::ScratchDir scratch_{"tolv-fileprinter"};
  const std::string dir_ = scratch_.path();
  const std::string kept_ = dir_ + "/ZOBAX.PDF";
  FinishedDocument Pdf() const { return {pdf_, "PDF"}; }

  const std::string pdf_ = testing::MinimalPdf("file printer");
};

TEST_F(FileDestinationTest, WritesTheDocumentBesideTheProgram) {
  FileDestination destination(dir_, WriteFileAtomically);
  EXPECT_EQ(destination.Device().printable_width_px, 4961);
  const HandOverResult result = destination.HandOver(Pdf());
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.message, "");
  EXPECT_EQ(ReadWholeFile(kept_), pdf_);
}

// A document of another kind is kept under its own extension, beside the program as a PDF is.
TEST_F(FileDestinationTest, KeepsADocumentUnderItsOwnExtension) {
  EXPECT_TRUE(FileDestination(dir_, WriteFileAtomically).HandOver({"emf bytes", "EMF"}).ok);
  EXPECT_EQ(ReadWholeFile(dir_ + "/ZOBAX.EMF"), "emf bytes");
  EXPECT_FALSE(fs::exists(kept_));
}

TEST_F(FileDestinationTest, ReplacesAPlantedLinkNamedLikeTheDocument) {
  const std::string victim = dir_ + "/victim";
  std::ofstream(victim) << "must stay";
  fs::create_symlink(victim, kept_);
  EXPECT_TRUE(FileDestination(dir_, WriteFileAtomically).HandOver(Pdf()).ok);
  EXPECT_FALSE(fs::is_symlink(kept_));
  EXPECT_EQ(ReadWholeFile(kept_), pdf_);
  EXPECT_EQ(ReadWholeFile(victim), "must stay");
}

TEST_F(FileDestinationTest, SaysTheDocumentCouldNotBeKeptWhenTheDirectoryIsReadOnly) {
  std::ofstream(kept_) << "earlier";
  ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
  const std::optional<std::string> outcome = RunInChild([&] {
    if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) return std::string("setresuid");
    const HandOverResult result = FileDestination(dir_, WriteFileAtomically).HandOver(Pdf());
    return std::string(result.ok ? "ok" : "failed") + "|" + result.message;
  });
  ASSERT_TRUE(outcome.has_value());
  EXPECT_EQ(outcome->substr(0, 7), "failed|") << *outcome;
  EXPECT_NE(outcome->find("could not be kept"), std::string::npos) << *outcome;
  EXPECT_NE(outcome->find("Permission denied"), std::string::npos) << *outcome;
  EXPECT_EQ(outcome->find('\n'), std::string::npos);
  EXPECT_EQ(ReadWholeFile(kept_), "earlier");
}

TEST_F(FileDestinationTest, AFailedPrinterKeepsTheDocumentAndSaysWhy) {
  FailedPrinterDestination destination(dir_, "the print server x did not answer\nwithin 5 seconds",
                                       WriteFileAtomically);
  EXPECT_EQ(destination.Device().printable_height_px, 7016);
  const HandOverResult result = destination.HandOver(Pdf());
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message,
            "the print server x did not answer within 5 seconds; the document is held as \"" +
                ListHeldDocuments(dir_).at(0).path + "\"");
  EXPECT_EQ(ReadWholeFile(ListHeldDocuments(dir_).at(0).path), pdf_);
  EXPECT_FALSE(fs::exists(kept_));
}

TEST_F(FileDestinationTest, AFailedPrinterNamesBothCausesWhenTheDocumentCannotBeKeptEither) {
  const HandOverResult result =
      KeepAfterFailure(WriteFileAtomically, dir_ + "/missing", Pdf(), "queue Q is stopped");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message.find("queue Q is stopped; it could not be held (the folder "), 0u)
      << result.message;
  EXPECT_NE(result.message.find("); the document could not be kept either: "), std::string::npos)
      << result.message;
  EXPECT_NE(result.message.find("No such file or directory"), std::string::npos);
}

}  // namespace
}  // namespace tolv
