#include "startup/form_type.h"

#include "job/form_types.h"
#include "runtime/runtime.h"
#include "surface/scale.h"

namespace tolv {
void InitFormType(JobState& job, const std::string& program_dir) {
  PrintJobRecord& record = job.PrintJob;
  const FormType* type = FindFormType(record.Blank);
  // An unknown form type leaves LastRowIndex and FormPitch as they were; its picture is KORDELA.GFX
  // and it has a second copy.
  record.FormImagePath = program_dir + "/" +
                         (type != nullptr ? FormFileName(type->blank, "GFX") : kUnknownFormPicture);
  if (type != nullptr) {
    record.LastRowIndex = type->last_row_index;
    job.FormPitch = type->form_pitch;
  }
  if (type == nullptr || type->second_copy) {
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
