// The values that follow from the form type, and the printer's pixels per millimetre.
#ifndef TOLV_STARTUP_FORM_TYPE_H_
#define TOLV_STARTUP_FORM_TYPE_H_

#include <string>

#include "job/job.h"
#include "surface/drawing_surface.h"

namespace tolv {

// FormImagePath, CopyImagePath, LastRowIndex and FormPitch from PrintJob.Blank.
void InitFormType(JobState& job, const std::string& program_dir);

// PixelsPerMmX and PixelsPerMmY: the printable extent in device pixels over the same extent in
// millimetres. Without a printer both stay 0. Leaves the printer in millimetres.
void InitPrinterMetrics(JobState& job, Printer& printer);

}  // namespace tolv

#endif  // TOLV_STARTUP_FORM_TYPE_H_
