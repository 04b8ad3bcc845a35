#include "form/tolv_form.h"

#include "job/form_types.h"
#include "runtime/runtime.h"

namespace tolv {

// The boxes' stored design: all three placed on the form, white, in the face "Hebar" at 36 points
// (a face few machines have; fontconfig serves its substitute). Picture1 is far larger than a
// screen (2087 x 3040 pixels) and takes the size of the background picture loaded into it.
PictureBoxDesign DestPicDesign() {
  return {"DestPic", 120, 60, 3885, 1485, U"Hebar", 36, false, false};
}

PictureBoxDesign Picture2Design() {
  return {"Picture2", 4050, 60, 1395, 3075, U"Hebar", 36, false, false};
}

PictureBoxDesign Picture1Design() {
  return {"Picture1", 120, 1590, 31305, 45600, U"Hebar", 36, true, true};
}

TolvForm::TolvForm(const JobState& job, Platform& platform, RunTrace* trace)
    : job_(job),
      platform_(platform),
      dest_pic_(platform.CreatePictureBox(DestPicDesign())),
      picture2_(platform.CreatePictureBox(Picture2Design())),
      picture1_(platform.CreatePictureBox(Picture1Design())),
      trace_(trace != nullptr ? trace : &own_trace_) {}

TolvForm::~TolvForm() = default;

void TolvForm::Show() {
  Form_Load();
  Form_Activate();
}

void TolvForm::Form_Load() { Picture1().SetScaleLeft(-200.0f); }

void TolvForm::Form_Activate() {
  // The form is never shown, so hiding it and letting pending messages run leave nothing to do
  // but the message loop's turn.
  DoEvents();

  const int16_t paper_type = job_.PrintJob.PaperType;
  const int16_t blank = job_.PrintJob.Blank;
  const bool large_form = IsMaxiForm(blank);
  // A driver's own failures stay inside it; one that escapes skips the rest of the dispatch only.
  Step([&] {
    switch (paper_type) {
      case 0:
      case 1:
        large_form ? ComposePageMaxi() : ComposePageMini();
        break;
      case 2:
        large_form ? PrintPageDirectMaxi() : PrintPageDirectMini();
        break;
      case 3:
        if (blank != 6) PrintRoduvu();
        break;
      default:
        break;  // an unknown output mode prints nothing
    }
  });

  Step([&] { Picture1().SetPicture(nullptr); });
  Step([&] { Picture2().SetPicture(nullptr); });
  Step([&] { DestPic().SetPicture(nullptr); });
}

}  // namespace tolv
