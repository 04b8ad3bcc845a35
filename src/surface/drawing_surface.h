// What every layout and page driver draws on: the default printer, or one of the form's picture
// boxes. The members carry the names the rest of tolv uses for them (ScaleMode, CurrentX, Print,
// PSet, EndDoc, ...). Every hook is pure virtual, so a backend that forgets one does not build.
//
// Units: positions and sizes are in the surface's current scale unit (ScaleMode), single
// precision, with the origin at the top-left corner of the inner area (the printable area of a
// printer). A member that cannot be carried out raises RuntimeError (for instance every member of
// a printer when there is no printer).
#ifndef TOLV_SURFACE_DRAWING_SURFACE_H_
#define TOLV_SURFACE_DRAWING_SURFACE_H_

#include <cstdint>
#include <string>

#include "picture/picture.h"

namespace tolv {

class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;

  // 1 twips, 3 device pixels, 6 millimetres (2 points, 4 characters, 5 inches, 7 centimetres).
  // Setting it puts the origin at the inner area's top-left corner; other values raise.
  virtual void SetScaleMode(int16_t mode) = 0;
  virtual int16_t ScaleMode() const = 0;
  // The inner size in the current unit.
  virtual float ScaleWidth() const = 0;
  virtual float ScaleHeight() const = 0;

  // Where the next Print puts its text's top-left corner.
  virtual void SetCurrentX(float x) = 0;
  virtual void SetCurrentY(float y) = 0;
  virtual float CurrentX() const = 0;
  virtual float CurrentY() const = 0;

  // The font of later prints and measures. An empty name leaves the face as it was.
  virtual void SetFontName(const std::u32string& name) = 0;
  virtual void SetFontSize(float points) = 0;
  virtual void SetFontBold(bool bold) = 0;
  virtual std::u32string FontName() const = 0;
  virtual float FontSize() const = 0;
  virtual bool FontBold() const = 0;

  // Prints one string at the current position in the current font, black, never clipped. Control
  // characters (NUL included) are drawn as blanks; the string is never cut. Afterwards CurrentX is
  // the left edge and CurrentY one line lower.
  virtual void Print(const std::u32string& text) = 0;
  // The advance width of the string, and the height of a line of the current font, in the current
  // unit.
  virtual float TextWidth(const std::u32string& text) = 0;
  virtual float TextHeight(const std::u32string& text) = 0;
};

// The default printer. Its document opens at the first output (a print, a line, a dot or a
// picture) and ends at EndDoc.
class Printer : public DrawingSurface {
 public:
  // 0 solid, 2 dotted.
  virtual void SetDrawStyle(int16_t style) = 0;
  virtual int16_t DrawStyle() const = 0;
  // A black line one device pixel wide from (x1, y1) to (x2, y2) in the current draw style.
  virtual void Line(float x1, float y1, float x2, float y2) = 0;
  // One device pixel at (x, y) in the colour (red in the lowest byte; the high byte is ignored).
  // The later dot wins on the same pixel.
  virtual void PSet(float x, float y, int32_t color) = 0;
  // The whole picture stretched into the rectangle, nearest-pixel. A zero-sized rectangle opens the
  // document and draws nothing.
  virtual void PaintPicture(const PicturePtr& picture, float x, float y, float width,
                            float height) = 0;
  virtual void NewPage() = 0;
  // Ends the document and hands it to the destination.
  virtual void EndDoc() = 0;
};

// The design-time state of one picture box (position and size in twips, font).
struct PictureBoxDesign {
  std::string name;
  float left = 0;
  float top = 0;
  float width = 0;
  float height = 0;
  std::u32string font_name;
  float font_size = 0;
  bool font_bold = false;
  // Takes the size of a picture set into it.
  bool auto_size = false;
};

// A picture box of the form: an off-screen surface with a shown picture and a persistent image.
// Sizes are in twips; one screen pixel is 15 twips.
class PictureBox : public DrawingSurface {
 public:
  // The shown picture (nullptr: nothing). A box that sizes itself takes the picture's size.
  virtual PicturePtr Picture() const = 0;
  virtual void SetPicture(PicturePtr picture) = 0;
  // The persistent image, as a picture.
  virtual PicturePtr Image() const = 0;
  // While true, drawing goes into the persistent image.
  virtual void SetAutoRedraw(bool on) = 0;
  virtual bool AutoRedraw() const = 0;
  virtual void Refresh() = 0;

  virtual float Left() const = 0;
  virtual float Top() const = 0;
  virtual float Width() const = 0;
  virtual float Height() const = 0;
  virtual void SetWidth(float twips) = 0;
  virtual void SetHeight(float twips) = 0;
  virtual float ScaleLeft() const = 0;
  virtual void SetScaleLeft(float left) = 0;

  // Copies `count` rows of the persistent image, starting at row `first_row` counted from the top,
  // to or from `pixels` (32-bit pixels, `width` per row, top row first). Rows outside the image
  // are left out. Returns the number of rows copied.
  virtual int32_t GetImageRows(int32_t first_row, int32_t count, uint32_t* pixels,
                               int32_t width) const = 0;
  virtual int32_t SetImageRows(int32_t first_row, int32_t count, const uint32_t* pixels,
                               int32_t width) = 0;
  // Draws what this box shows into the persistent image of `target`, top-left on top-left.
  virtual void PrintContentInto(PictureBox& target) const = 0;
};

}  // namespace tolv

#endif  // TOLV_SURFACE_DRAWING_SURFACE_H_
