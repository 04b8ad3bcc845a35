// Text in the Cairo picture boxes: drawn into the persistent image at 96 dpi by the printer's
// rules.
#include "platform/cairo/cairo_picture_box.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "runtime/runtime.h"

namespace tolv {
namespace {

PictureBoxDesign Design(float width_twips, float height_twips) {
  PictureBoxDesign d;
  d.name = "Picture2";
  d.width = width_twips;
  d.height = height_twips;
  d.font_name = U"Arial";
  d.font_size = 36;
  d.font_bold = false;
  return d;
}

// The box around every pixel at least half inked (antialiased edges below half count as paper;
// Cairo puts glyph origins on whole pixels, so an edge may be half a pixel off).
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool empty() const { return right < 0; }
};

Ink InkOf(const PictureBox& box, int from_x = 0) {
  const PicturePtr image = box.Image();
  Ink ink;
  for (int y = 0; y < image->height(); ++y) {
    for (int x = from_x; x < image->width(); ++x) {
      if ((image->pixel(x, y) & 0xFF) < 0x80) {
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
      }
    }
  }
  return ink;
}

TEST(CairoPictureBoxTest, MeasuresAt96DotsPerInch) {
  CairoPictureBox box(Design(3000, 1500));
  box.SetScaleMode(kScalePixels);
  box.SetFontSize(40);
  // 40 points at 96 dpi are 53.3 pixels; Arial's line is 1.15 em, its "W" 0.944 em.
  const double em = 40 * 96 / 72.0;
  EXPECT_NEAR(box.TextHeight(U"T"), 2355.0 / 2048 * em, 0.01);
  EXPECT_NEAR(box.TextWidth(U"W"), 1933.0 / 2048 * em, 0.01);
  box.SetScaleMode(kScaleTwips);
  EXPECT_NEAR(box.TextWidth(U"W"), 1933.0 / 2048 * em * 15, 0.1);
}

TEST(CairoPictureBoxTest, PrintDrawsBlackTextFromTheCurrentPositionDown) {
  CairoPictureBox box(Design(3000, 1500));  // 200 x 100 pixels
  box.SetAutoRedraw(true);
  box.SetScaleMode(kScalePixels);
  box.SetCurrentX(10);
  box.SetCurrentY(20);
  box.Print(U"H");
  const Ink ink = InkOf(box);
  ASSERT_FALSE(ink.empty());
  // "H" at 36 points (48 px): its stem starts 0.077 em right of the pen, its top lies
  // ascent - cap height = 0.217 em below the line's top, its foot on the baseline (0.905 em).
  const double em = 48;
  EXPECT_NEAR(ink.left, 10 + 158.0 / 2048 * em, 1.0);
  EXPECT_NEAR(ink.top, 20 + (1854.0 - 1409.0) / 2048 * em, 1.0);
  EXPECT_NEAR(ink.bottom + 1, 20 + 1854.0 / 2048 * em, 1.0);
  // The stem is solid black and the picture stays opaque.
  const PicturePtr image = box.Image();
  EXPECT_EQ(image->pixel(ink.left + 2, (ink.top + ink.bottom) / 2), 0xFF000000u);
  for (uint32_t p : image->pixels()) ASSERT_EQ(p >> 24, 0xFFu);
  EXPECT_EQ(box.CurrentX(), 0);
  EXPECT_FLOAT_EQ(box.CurrentY(), 20 + box.TextHeight(U"H"));
}

TEST(CairoPictureBoxTest, NulIsABlankAndTheRestOfTheStringIsDrawn) {
  CairoPictureBox box(Design(3000, 1500));
  box.SetAutoRedraw(true);
  box.SetScaleMode(kScalePixels);
  box.SetCurrentX(0);
  box.SetCurrentY(0);
  const std::u32string text(U"I\0I", 3);
  box.Print(text);
  const float second = box.TextWidth(U"I ");
  EXPECT_FLOAT_EQ(box.TextWidth(text), box.TextWidth(U"I I"));
  const Ink after_nul = InkOf(box, static_cast<int>(second));
  ASSERT_FALSE(after_nul.empty());
  EXPECT_LT(after_nul.left, second + 8);
}

TEST(CairoPictureBoxTest, NothingIsDrawnWithoutAutoRedrawButThePositionMoves) {
  CairoPictureBox box(Design(3000, 1500));
  box.SetScaleMode(kScalePixels);
  box.SetCurrentY(5);
  box.Print(U"Hidden");
  EXPECT_TRUE(InkOf(box).empty());
  EXPECT_GT(box.CurrentY(), 5 + 40);
}

TEST(CairoPictureBoxTest, TextOverThePictureAndPastTheEdgeIsClippedNotFatal) {
  CairoPictureBox box(Design(600, 300));  // 40 x 20 pixels
  box.SetPicture(
      std::make_shared<Picture>(40, 20, std::vector<uint32_t>(40 * 20, 0xFF00FF00u)));  // green
  box.SetAutoRedraw(true);
  box.SetScaleMode(kScalePixels);
  box.SetCurrentX(30);
  box.SetCurrentY(-10);
  box.Print(U"WWWW");
  const PicturePtr image = box.Image();
  int inked = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 40; ++x) {
      if (image->pixel(x, y) != 0xFF00FF00u) {
        ++inked;
        EXPECT_GE(x, 30);
      }
    }
  }
  EXPECT_GT(inked, 10);
  box.SetCurrentX(1e30f);
  EXPECT_THROW(box.Print(U"x"), RuntimeError);
}

}  // namespace
}  // namespace tolv
