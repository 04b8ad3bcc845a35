#include "layout/geometry.h"

namespace tolv {

TextFormGeometry MiniFormGeometry(int16_t Blank) {
  const double BoxPitch = Blank == 7 ? kMiniBoxPitch + kMiniBlank7PitchCorrection : kMiniBoxPitch;
  return {kFormWidthMm,
          kMiniFormHeightMm,
          kMiniHeaderX,
          kMiniRightCellX,
          {kMiniRow0Y, kMiniRow1Y, kMiniRow2Y},
          {kMiniFirstBoxX, BoxPitch, kMiniFirstBoxRowY, kMiniRowSpacing, kMiniBoxesPerRow}};
}

TextFormGeometry MaxiFormGeometry(int16_t Blank) {
  const double height = FormHeightMm(Blank);
  return {kFormWidthMm,
          height,
          kMaxiHeaderX,
          kMaxiRightCellX,
          {kMaxiRow0Y, kMaxiRow1Y, kMaxiRow2Y},
          {kMaxiFirstBoxX, kMaxiBoxPitch, kMaxiFirstBoxRowY, kMaxiRowSpacing, kMaxiBoxesPerRow}};
}

}  // namespace tolv
