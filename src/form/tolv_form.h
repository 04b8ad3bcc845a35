// TolvForm: the program's one form. It is never shown; it owns the three picture boxes and every
// routine that draws: the page drivers, the layouts, the background dots, the picture transfer and
// the fixed grid. Each subsystem's folder defines its own methods of the form.
#ifndef TOLV_FORM_TOLV_FORM_H_
#define TOLV_FORM_TOLV_FORM_H_

#include <cstdint>
#include <memory>
#include <string>

#include "job/job.h"
#include "job/run_trace.h"
#include "platform/platform.h"
#include "surface/drawing_surface.h"

namespace tolv {

// Design-time state of the picture boxes (twips).
PictureBoxDesign DestPicDesign();
PictureBoxDesign Picture2Design();
PictureBoxDesign Picture1Design();

class TolvForm {
 public:
  // The job is read, never written. The platform gives the printer, the picture boxes and the
  // picture loader. `trace` (the form's own when none is given) records what the run did.
  TolvForm(const JobState& job, Platform& platform, RunTrace* trace = nullptr);
  virtual ~TolvForm();
  TolvForm(const TolvForm&) = delete;
  TolvForm& operator=(const TolvForm&) = delete;

  // Load, then activation: the whole print job. Returns when the program is to end.
  void Show();
  void Form_Load();
  void Form_Activate();

  // Page drivers, one of which Form_Activate calls. Virtual so that a test can see which one ran.
  virtual void ComposePageMini();
  virtual void ComposePageMaxi();
  virtual void PrintPageDirectMini();
  virtual void PrintPageDirectMaxi();
  virtual void PrintRoduvu();

  // Layouts: the plain name draws on Picture2, Ex on the printer into the form rectangle.
  void PrintMiniText();
  void PrintMiniTextEx(const int32_t& X, const int32_t& Y, const int32_t& width,
                       const int32_t& height);
  void PrintMaxiText();
  void PrintMaxiTextEx(const int32_t& X, const int32_t& Y, const int32_t& width,
                       const int32_t& height);

  // The background dots of the form data file, scaled into the form rectangle on the printer.
  // Raises on the first failure; the calling driver goes on.
  void DrawFormData(const int32_t& X, const int32_t& Y, const int32_t& W, const int32_t& H);
  // The composed picture of Picture2 onto the printer, whole or in 20 bands.
  void TransferPicture(const int32_t& X, const int32_t& Y, const int32_t& W, const int32_t& H);
  void TransferPictureBanded(const int32_t& X, const int32_t& Y, const int32_t& W,
                             const int32_t& H);
  // One string of the fixed grid at (OriginX + x, OriginY + y) millimetres. Raises on failure.
  void PrintAt(const double& x, const double& y, const std::u32string& Text);

  PictureBox& Picture1() { return *picture1_; }
  PictureBox& Picture2() { return *picture2_; }
  PictureBox& DestPic() { return *dest_pic_; }
  const JobState& job() const { return job_; }
  Platform& platform() { return platform_; }
  Printer& printer() { return platform_.DefaultPrinter(); }
  void DoEvents() { platform_.DoEvents(); }
  RunTrace& trace() { return *trace_; }

  // The fixed grid's origins in millimetres, written by PrintRoduvu, read by PrintAt.
  double OriginX = 0;
  double OriginY = 0;

 private:
  const JobState& job_;
  Platform& platform_;
  std::unique_ptr<PictureBox> dest_pic_;
  std::unique_ptr<PictureBox> picture2_;
  std::unique_ptr<PictureBox> picture1_;
  RunTrace own_trace_;
  RunTrace* trace_;
};

}  // namespace tolv

#endif  // TOLV_FORM_TOLV_FORM_H_
