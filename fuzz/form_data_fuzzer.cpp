// The form data reader on arbitrary bytes: DrawFormData on a recording printer, the bytes as the
// form type's KORDEL<n>A.DAT. The last 22 bytes of the input choose the form type, the size of the
// picture in Picture1 and the form rectangle (X, Y, W, H); the bytes before them are the file.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "form/tolv_form.h"
#include "fuzz_support.h"
#include "platform/recording/recording.h"
#include "runtime/runtime.h"
#include "surface/scale.h"

namespace tolv::fuzz {
namespace {

int32_t DotColorAt(const std::string& file, size_t record) {
  uint32_t color = 0;
  for (int k = 3; k >= 0; --k) {
    color = (color << 8) | static_cast<uint8_t>(file[record * 8 + 4 + static_cast<size_t>(k)]);
  }
  return static_cast<int32_t>(color);
}

// A printer whose page is A4 at 72 dpi: the reader does the same for any page, and the dot
// layer of a 600 dpi page (its black dots a bitmap of 35 million pixels) was most of each input's
// time.
recording::PrinterSetup SmallPrinter() {
  recording::PrinterSetup setup;
  setup.dpi_x = setup.dpi_y = 72;
  setup.width_px = 595;
  setup.height_px = 842;
  return setup;
}

// The white picture of a size, made once per size (only its size matters), and at most a few
// thousand kept.
PicturePtr Solid(int32_t width, int32_t height) {
  static std::map<std::pair<int32_t, int32_t>, PicturePtr> made;
  const auto key = std::make_pair(width, height);
  if (const auto found = made.find(key); found != made.end()) return found->second;
  if (made.size() >= 4096) made.clear();
  PicturePtr picture = recording::SolidPicture(width, height, 0xFFFFFFFF);
  made.emplace(key, picture);
  return picture;
}

}  // namespace
}  // namespace tolv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolv;
  using namespace tolv::fuzz;
  static const ScratchDir dir("tolv-fuzz-dots");

  FuzzedDataProvider input(data, size);
  JobState job;
  job.PrintJob.Blank = input.ConsumeIntegral<int16_t>();
  // Small pictures: only their size matters, as the divisor of the scale.
  const int32_t picture_width = input.ConsumeIntegralInRange<int32_t>(0, 300);
  const int32_t picture_height = input.ConsumeIntegralInRange<int32_t>(0, 300);
  const int32_t X = input.ConsumeIntegral<int32_t>();
  const int32_t Y = input.ConsumeIntegral<int32_t>();
  const int32_t W = input.ConsumeIntegral<int32_t>();
  const int32_t H = input.ConsumeIntegral<int32_t>();
  const std::string file = input.ConsumeRemainingBytesAsString();
  const std::string path = dir.File("KORDEL" + std::to_string(job.PrintJob.Blank) + "A.DAT");
  WriteFile(path, file);

  recording::RecordingPlatform platform(SmallPrinter(), dir.path());
  TolvForm form(job, platform);
  Step([&] { form.Picture1().SetPicture(Solid(picture_width, picture_height)); });
  Step([&] { form.Picture1().SetScaleMode(kScalePixels); });
  Step([&] { platform.printer().SetScaleMode(kScalePixels); });
  platform.log().clear();

  const bool finished = Step([&] { form.DrawFormData(X, Y, W, H); });

  // One dot a complete record, in file order, each in its record's colour; a run that raised
  // stopped after a prefix of them.
  size_t dots = 0;
  for (const recording::Entry& entry : platform.log()) {
    const auto* dot = std::get_if<recording::PSet>(&entry.op);
    if (dot == nullptr) continue;
    Require(dots < file.size() / 8, "more dots than records");
    Require(dot->color == DotColorAt(file, dots), "a dot in another record's colour");
    ++dots;
  }
  if (finished) Require(dots == file.size() / 8, "a complete record was not drawn");

  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  return 0;
}
