// A whole run on an arbitrary job file: Main through Form_Activate, on a recording printer, with
// the sample forms beside the program and their pictures read by the real picture loader. The
// whole input is the job file; its last byte chooses the printer (and whether there is one), its
// length the locale the job is read in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz_support.h"
#include "job/job_file.h"
#include "platform/cairo/picture_loader.h"
#include "platform/recording/recording.h"
#include "startup/main.h"

#ifndef TOLV_FUZZ_FORMS_DIR
#error "TOLV_FUZZ_FORMS_DIR names the build's sample forms"
#endif

namespace tolv::fuzz {
namespace {

// The recording platform with the real picture loader. It keeps no history: the log is emptied
// at every turn of the message loop, so the hundreds of thousands of dots of a form's data file
// cost no memory.
class FuzzPlatform : public recording::RecordingPlatform {
 public:
  FuzzPlatform(const recording::PrinterSetup& printer, std::string program_dir)
      : RecordingPlatform(printer, std::move(program_dir)) {}

  // Every call reads the file. A sample form's picture of millions of pixels would take half of
  // each run to decode again, so bytes decoded once are answered with the same picture (the
  // decoder has a fuzz target of its own).
  PicturePtr LoadPicture(const std::string& path) override {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static std::map<std::string, std::pair<std::string, PicturePtr>> decoded;
    const auto known = decoded.find(path);
    if (in && known != decoded.end() && known->second.first == bytes) return known->second.second;
    PicturePtr picture = ::tolv::LoadPicture(path);
    decoded[path] = {std::move(bytes), picture};
    return picture;
  }
  void DoEvents() override { log().clear(); }
};

// The file printer's A4 at 600 dpi for a job file that ends as a text file does (a line end, or
// nothing at all); otherwise its last byte chooses one of: that printer, a letter-size printer
// with margins at 300 dpi (too short for two large forms), one with different resolutions across
// and down, none at all.
recording::PrinterSetup Printer(std::string_view job) {
  recording::PrinterSetup setup;
  const unsigned char last = job.empty() ? '\n' : static_cast<unsigned char>(job.back());
  if (last == '\n' || last == '\r') return setup;
  switch (last % 4) {
    case 0:
      break;
    case 1:
      setup.dpi_x = setup.dpi_y = 300;
      setup.width_px = 2400;
      setup.height_px = 3150;
      break;
    case 2:
      setup.dpi_x = 1200;
      setup.width_px = 9921;
      break;
    default:
      setup.available = false;
      break;
  }
  return setup;
}

// Made, and the forms copied in, at the first call; removed when the fuzzer ends.
const ScratchDir& ProgramDir() {
  static const ScratchDir dir("tolv-fuzz-run");
  static const bool copied = [] {
    const char* forms = std::getenv("TOLV_FORMS_DIR");
    CopySampleForms(forms != nullptr && *forms != '\0' ? forms : TOLV_FUZZ_FORMS_DIR, dir.path());
    return true;
  }();
  (void)copied;
  return dir;
}

// The sample forms' pictures and dot files, seven of each.
constexpr size_t kSampleFormFiles = 14;

size_t FileCount(const std::string& dir) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++count;
  return count;
}

}  // namespace
}  // namespace tolv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  (void)tolv::fuzz::ProgramDir();  // the forms are copied once, before the first input
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolv::fuzz;
  const ScratchDir& dir = ProgramDir();
  UseLocale(size / 4);
  WriteFile(tolv::JobFilePath(dir.path()), AsBytes(data, size));

  FuzzPlatform platform(Printer(AsBytes(data, size)), dir.path());
  const int status = tolv::Main(platform);
  Require(status == 0, "a recording run ended with a failure status");
  Require(platform.ended(), "a run with a job file did not end the program");
  Require(!platform.printer().document_open(), "a document left open at the end");
  // A run writes nothing beside the program: a form type without its data file leaves the disk
  // as it was.
  Require(FileCount(dir.path()) == kSampleFormFiles + 1, "a run left a file beside the program");
  return 0;
}
