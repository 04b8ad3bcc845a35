#include "startup/form_type.h"

#include "runtime/runtime.h"
#include "surface/scale.h"

namespace tolv {
namespace {

struct FormType {
  char digit;
  int16_t last_row_index;
  double form_pitch;
  bool second_copy;
};

// The known form types 1 to 7: small forms 1, 2 and 7, large forms 3 to 6.
constexpr FormType kFormTypes[7] = {
    {'1', 10, 102.0, true}, {'2', 10, 102.0, true},  {'3', 12, 140.8, true}, {'4', 12, 140.8, true},
    {'5', 17, 142.6, true}, {'6', 29, 140.8, false}, {'7', 11, 102.0, true},
};

}  // namespace

void InitFormType(JobState& job, const std::string& program_dir) {
  PrintJobRecord& record = job.PrintJob;
  const int16_t blank = record.Blank;
  const bool known = blank >= 1 && blank <= 7;

  record.FormImagePath = program_dir + "/KORDEL";
  // An unknown form type leaves LastRowIndex and FormPitch as they were; its picture is
  // KORDELA.GFX.
  if (known) {
    const FormType& type = kFormTypes[blank - 1];
    record.FormImagePath += type.digit;
    record.LastRowIndex = type.last_row_index;
    job.FormPitch = type.form_pitch;
  }
  record.FormImagePath += "A.GFX";
  if (!known || kFormTypes[blank - 1].second_copy) {
    record.CopyImagePath = record.FormImagePath;
  }
}

void InitPrinterMetrics(JobState& job, Printer& printer) {
  // Each step on its own: without a printer every one fails and both factors stay 0.
  Step([&] { printer.SetScaleMode(kScalePixels); });
  Step([&] { job.PixelsPerMmX = printer.ScaleWidth(); });
  Step([&] { job.PixelsPerMmY = printer.ScaleHeight(); });
  Step([&] { printer.SetScaleMode(kScaleMillimetres); });
  Step([&] { job.PixelsPerMmX = DivideDouble(job.PixelsPerMmX, printer.ScaleWidth()); });
  Step([&] { job.PixelsPerMmY = DivideDouble(job.PixelsPerMmY, printer.ScaleHeight()); });
}

}  // namespace tolv
