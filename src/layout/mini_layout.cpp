// The mini forms (Blank 1, 2 and 7): row 0 split, rows 1 and 2 plain, then rows of 26 boxes.
#include <array>

#include "form/tolv_form.h"
#include "layout/geometry.h"
#include "layout/row_layout.h"
#include "runtime/runtime.h"
#include "surface/scale.h"

namespace tolv {
namespace {

// Row 1 is printed trimmed even when that leaves nothing; row 2 only when it holds text.
constexpr std::array<HeaderRow, 3> kMiniHeader = {HeaderRow::kSplit, HeaderRow::kTrimmed,
                                                  HeaderRow::kRightTrimmedIfAny};

}  // namespace

void TolvForm::PrintMiniText() {
  PictureBox& box = Picture2();
  Step([&] { box.SetScaleMode(kScalePixels); });
  const TextFormGeometry geometry = MiniFormGeometry(job().PrintJob.Blank);
  FormPlacement placement;
  Step([&] { placement.FormScaleX = box.ScaleWidth() / geometry.width; });
  Step([&] { placement.FormScaleY = box.ScaleHeight() / geometry.height; });
  LayOutRows(*this, {box, LayoutVariant::kPicture, placement, trace()}, geometry, kMiniHeader);
  // The composed drivers go on in twips.
  Step([&] { box.SetScaleMode(kScaleTwips); });
}

void TolvForm::PrintMiniTextEx(const int32_t& X, const int32_t& Y, const int32_t& width,
                               const int32_t& height) {
  Printer& surface = printer();
  // The form rectangle is in device pixels; the mini layout makes sure the printer agrees.
  Step([&] { surface.SetScaleMode(kScalePixels); });
  const TextFormGeometry geometry = MiniFormGeometry(job().PrintJob.Blank);
  const FormPlacement placement{width / geometry.width, height / geometry.height,
                                static_cast<double>(X), static_cast<double>(Y)};
  LayOutRows(*this, {surface, LayoutVariant::kPrinter, placement, trace()}, geometry, kMiniHeader);
}

}  // namespace tolv
