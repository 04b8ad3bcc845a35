#include "startup/proof.h"

#include "form/tolv_form.h"
#include "surface/scale.h"

namespace tolv {
namespace {

constexpr float kMarkPoints = 7;

// The printer's settings a proof changes, put back afterwards so the driver draws as it would.
class SavedPrinterState {
 public:
  explicit SavedPrinterState(Printer& p)
      : p_(p),
        mode_(p.ScaleMode()),
        x_(p.CurrentX()),
        y_(p.CurrentY()),
        face_(p.FontName()),
        size_(p.FontSize()),
        bold_(p.FontBold()) {}
  ~SavedPrinterState() {
    Step([&] { p_.SetScaleMode(mode_); });
    Step([&] { p_.SetFontName(face_); });
    Step([&] { p_.SetFontSize(size_); });
    Step([&] { p_.SetFontBold(bold_); });
    Step([&] { p_.SetCurrentX(x_); });
    Step([&] { p_.SetCurrentY(y_); });
  }

 private:
  Printer& p_;
  int16_t mode_;
  float x_, y_;
  std::u32string face_;
  float size_;
  bool bold_;
};

}  // namespace

void ProofTrace::FormPlaced(TolvForm& form, int32_t x, int32_t y, int32_t width, int32_t height) {
  RunTrace::FormPlaced(form, x, y, width, height);
  // Whatever fails here is the proof's own: the driver's step must run as it would have.
  Step([&] { DrawProof(form, x, y, width, height); });
}

void ProofTrace::DrawProof(TolvForm& form, int32_t x, int32_t y, int32_t width, int32_t height) {
  Printer& p = form.printer();
  const SavedPrinterState saved(p);
  Step([&] { p.SetScaleMode(kScalePixels); });
  const int page = forms().back().page;
  if (marked_pages_.insert(page).second) {
    Step([&] { p.SetFontName(U"DejaVu Sans"); });
    Step([&] { p.SetFontBold(false); });
    Step([&] { p.SetFontSize(kMarkPoints); });
    Step([&] {
      p.SetCurrentX(0);
      p.SetCurrentY(p.ScaleHeight() - p.TextHeight(U"proof"));
      p.Print(U"proof");
    });
  }
  Step([&] {
    Reporting(*this, "form picture for the proof", [&] {
      p.PaintPicture(form.platform().LoadPicture(form.job().PrintJob.FormImagePath),
                     static_cast<float>(x), static_cast<float>(y), static_cast<float>(width),
                     static_cast<float>(height));
    });
  });
}

}  // namespace tolv
