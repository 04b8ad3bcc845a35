// The picture boxes hand their persistent images around without copying them: a picture handed
// out never changes afterwards, whatever is drawn into the box or the box it went to.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/cairo/cairo_picture_box.h"

namespace tolv {
namespace {

PictureBoxDesign Design(float width_twips, float height_twips, bool auto_size = false) {
  PictureBoxDesign d;
  d.name = "Picture";
  d.width = width_twips;
  d.height = height_twips;
  d.font_name = U"DejaVu Sans";
  d.font_size = 20;
  d.font_bold = true;
  d.auto_size = auto_size;
  return d;
}

// A picture of w x h pixels, each its own colour.
PicturePtr Numbered(int32_t w, int32_t h) {
  std::vector<uint32_t> pixels;
  for (int32_t i = 0; i < w * h; ++i) pixels.push_back(0xFF000000u | static_cast<uint32_t>(i));
  return std::make_shared<Picture>(w, h, std::move(pixels));
}

void PrintAt(PictureBox& box, float x, float y, const std::u32string& text) {
  box.SetScaleMode(3);
  box.SetCurrentX(x);
  box.SetCurrentY(y);
  box.Print(text);
}

TEST(PictureBoxImagesTest, AnImageHandedOutStaysAsItWasWhateverIsDrawnLater) {
  CairoPictureBox box(Design(60 * 15, 40 * 15));
  box.SetAutoRedraw(true);
  PrintAt(box, 2, 2, U"A");
  const PicturePtr first = box.Image();
  const std::vector<uint32_t> first_pixels = first->pixels();
  EXPECT_EQ(box.Image(), first);  // nothing drawn since: the same picture

  PrintAt(box, 30, 2, U"B");
  const PicturePtr second = box.Image();
  EXPECT_EQ(first->pixels(), first_pixels);
  EXPECT_NE(second->pixels(), first_pixels);
  // The box kept the A under the B: the left half of both images is the same.
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 25; ++x)
      ASSERT_EQ(second->pixel(x, y), first->pixel(x, y)) << x << "," << y;
  }

  // Growing the box keeps what was drawn, white beyond it.
  box.SetWidth(80 * 15);
  const PicturePtr grown = box.Image();
  EXPECT_EQ(grown->width(), 80);
  EXPECT_EQ(grown->pixel(10, 10), second->pixel(10, 10));
  EXPECT_EQ(grown->pixel(70, 10), 0xFFFFFFFFu);
  EXPECT_EQ(second->width(), 60);
}

TEST(PictureBoxImagesTest, ThePictureIsTheImageUntilSomethingIsDrawn) {
  CairoPictureBox box(Design(15, 15, /*auto_size=*/true));
  const PicturePtr picture = Numbered(7, 5);
  box.SetPicture(picture);
  EXPECT_EQ(box.Image(), picture);
  std::vector<uint32_t> row(7);
  EXPECT_EQ(box.GetImageRows(4, 1, row.data(), 7), 1);
  EXPECT_EQ(row[6], picture->pixel(6, 4));

  // Rows written into the box change its image, never the picture.
  const std::vector<uint32_t> ones(7, 0xFF000001u);
  box.SetAutoRedraw(true);
  box.SetImageRows(1, 1, ones.data(), 7);
  EXPECT_EQ(picture->pixel(3, 1), 0xFF000000u + 7 + 3);
  EXPECT_EQ(box.Image()->pixel(3, 1), 0xFF000001u);
  EXPECT_EQ(box.Image()->pixel(3, 2), picture->pixel(3, 2));
}

TEST(PictureBoxImagesTest, ContentPrintedIntoAnotherBoxIsItsOwnThere) {
  CairoPictureBox source(Design(15, 15, /*auto_size=*/true));
  const PicturePtr picture = Numbered(50, 30);
  source.SetPicture(picture);
  CairoPictureBox same_size(Design(50 * 15, 30 * 15));
  CairoPictureBox smaller(Design(20 * 15, 10 * 15));
  CairoPictureBox larger(Design(60 * 15, 40 * 15));
  for (CairoPictureBox* target : {&same_size, &smaller, &larger}) {
    target->SetAutoRedraw(true);
    source.PrintContentInto(*target);
  }
  EXPECT_EQ(same_size.Image()->pixels(), picture->pixels());
  EXPECT_EQ(smaller.Image()->pixel(19, 9), picture->pixel(19, 9));
  EXPECT_EQ(larger.Image()->pixel(49, 29), picture->pixel(49, 29));
  EXPECT_EQ(larger.Image()->pixel(50, 29), 0xFFFFFFFFu);

  // Drawing into the target leaves the source and its picture as they were.
  PrintAt(same_size, 5, 5, U"X");
  EXPECT_NE(same_size.Image()->pixels(), picture->pixels());
  EXPECT_EQ(source.Image()->pixels(), picture->pixels());
  EXPECT_EQ(picture->pixel(10, 10), 0xFF000000u + 10 * 50 + 10);

  // A target without AutoRedraw receives nothing.
  CairoPictureBox hidden(Design(50 * 15, 30 * 15));
  source.PrintContentInto(hidden);
  EXPECT_EQ(hidden.Image()->pixel(0, 0), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace tolv
