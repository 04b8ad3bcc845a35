// The sample forms: their files as the program reads them (the picture through gdk-pixbuf, the
// form data record by record), and their boxes where the layouts print the characters.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/temp_dir.h"
#include "tools/form_drawing.h"

namespace tolv::forms {
namespace {

using ::testing::IsEmpty;

const int16_t kBlanks[] = {1, 2, 3, 4, 5, 6, 7};

const Bitmap& Drawing(int16_t Blank) {
  static std::map<int16_t, Bitmap> drawings;
  auto it = drawings.find(Blank);
  if (it == drawings.end()) it = drawings.emplace(Blank, DrawForm(Blank)).first;
  return it->second;
}

uint32_t U32(const std::string& bytes, size_t at) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + at, 4);  // the test machine is little-endian
  return value;
}
uint16_t U16(const std::string& bytes, size_t at) {
  uint16_t value;
  std::memcpy(&value, bytes.data() + at, 2);
  return value;
}

// Pixels of a form drawing, addressed in the form's millimetres as the layouts address them.
struct FormPixels {
  explicit FormPixels(int16_t Blank)
      : form(FormGeometry(Blank)),
        bitmap(Drawing(Blank)),
        scale_x(bitmap.width() / form.width),
        scale_y(bitmap.height() / form.height) {}

  int Px(double x_mm) const { return static_cast<int>(x_mm * scale_x); }
  int Py(double y_mm) const { return static_cast<int>(y_mm * scale_y); }

  // Millimetres from (x, y) in steps of one pixel in direction (dx, dy) to the first black pixel,
  // or -1 when none lies within limit_mm.
  double ToBlack(double x, double y, int dx, int dy, double limit_mm) const {
    const double step = dx != 0 ? 1 / scale_x : 1 / scale_y;
    int px = Px(x), py = Py(y);
    for (int n = 0; n * step <= limit_mm; ++n, px += dx, py += dy) {
      if (px < 0 || py < 0 || px >= bitmap.width() || py >= bitmap.height()) break;
      if (bitmap.IsBlack(px, py)) return n * step;
    }
    return -1;
  }

  TextFormGeometry form;
  const Bitmap& bitmap;
  double scale_x;
  double scale_y;
};

TEST(SampleFormTest, PictureIsA1BitBmpOfTheFormsProportions) {
  // 2087 pixels across, the height in the form's proportions: 105, 141 and 205.3 mm over 139 mm.
  const std::map<int16_t, int> heights = {{1, 1577}, {2, 1577}, {3, 2117}, {4, 2117},
                                          {5, 2117}, {6, 3082}, {7, 1577}};
  for (int16_t Blank : kBlanks) {
    SCOPED_TRACE(Blank);
    const Bitmap& bitmap = Drawing(Blank);
    ASSERT_EQ(bitmap.width(), 2087);
    ASSERT_EQ(bitmap.height(), heights.at(Blank));
    const std::string bmp = EncodeBmp(bitmap, 15.0, 15.0);
    const uint32_t stride = 264;  // 2087 bits padded to 66 words
    ASSERT_EQ(bmp.size(), 62 + stride * heights.at(Blank));
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(U32(bmp, 2), bmp.size());  // bfSize
    EXPECT_EQ(U32(bmp, 10), 62u);        // bfOffBits
    EXPECT_EQ(U32(bmp, 14), 40u);        // biSize
    EXPECT_EQ(static_cast<int32_t>(U32(bmp, 18)), 2087);
    EXPECT_EQ(static_cast<int32_t>(U32(bmp, 22)), heights.at(Blank));  // positive: bottom-up
    EXPECT_EQ(U16(bmp, 26), 1);                                        // planes
    EXPECT_EQ(U16(bmp, 28), 1);                                        // bits per pixel
    EXPECT_EQ(U32(bmp, 30), 0u);                                       // uncompressed
    EXPECT_EQ(U32(bmp, 34), stride * heights.at(Blank));               // biSizeImage
    EXPECT_EQ(U32(bmp, 38), 15000u);
    EXPECT_EQ(U32(bmp, 46), 2u);         // colours used
    EXPECT_EQ(U32(bmp, 54), 0x000000u);  // index 0 black
    EXPECT_EQ(U32(bmp, 58), 0xFFFFFFu);  // index 1 white
  }
}

TEST(SampleFormTest, EveryBoxTheLayoutsPrintIntoHoldsItsCharacter) {
  for (int16_t Blank : kBlanks) {
    SCOPED_TRACE(Blank);
    const FormPixels f(Blank);
    const BoxRowGeometry& boxes = f.form.boxes;
    const int16_t last_row = LastRowIndexOf(Blank);
    std::vector<std::string> faults;
    auto fault = [&](int row, int j, const std::string& what) {
      if (faults.size() < 10) {
        faults.push_back("row " + std::to_string(row) + " box " + std::to_string(j) + ": " + what);
      }
    };
    for (int row = kFirstBoxRow; row <= last_row; ++row) {
      const double y = boxes.RowY(row);
      for (int j = 1; j <= boxes.boxes_per_row; ++j) {
        const double x = boxes.BoxX(j);  // the character's top-left corner
        const double left = f.ToBlack(x, y + 2, -1, 0, 1.0);
        if (left <= 0) fault(row, j, "no wall less than 1 mm left of the character");
        const double right = f.ToBlack(x, y + 2, 1, 0, boxes.box_pitch);
        if (right >= 0 && right < 0.75 * boxes.box_pitch) fault(row, j, "box too narrow");
        const double above = f.ToBlack(x + 1, y, 0, -1, 1.0);
        if (above <= 0) fault(row, j, "no wall less than 1 mm above the character");
        const double below = f.ToBlack(x + 1, y, 0, 1, boxes.row_spacing);
        if (below < 4.0) fault(row, j, "box less than 4 mm deep");
        if (below < 0 || y + below >= boxes.RowY(row + 1)) fault(row, j, "runs into the next row");
      }
    }
    EXPECT_THAT(faults, IsEmpty());
    // No boxes for the row after the last one the form type lays out.
    const double y = boxes.RowY(last_row + 1);
    EXPECT_EQ(f.ToBlack(boxes.BoxX(1) - 1, y + 2, 1, 0, 4 * boxes.box_pitch), -1);
  }
}

TEST(SampleFormTest, HeaderTextLiesInsideItsField) {
  for (int16_t Blank : kBlanks) {
    SCOPED_TRACE(Blank);
    const FormPixels f(Blank);
    const bool mini = Blank == 1 || Blank == 2 || Blank == 7;
    for (int row = 0; row < 3; ++row) {
      SCOPED_TRACE(row);
      const bool split = row == 0 || (row == 1 && !mini);
      const double y = f.form.header_y[row];
      std::vector<double> places = {f.form.header_x};
      if (split) places.push_back(f.form.right_cell_x);
      for (double x : places) {
        SCOPED_TRACE(x);
        const double left = f.ToBlack(x, y + 2, -1, 0, 1.0);
        EXPECT_GT(left, 0);
        const double above = f.ToBlack(x + 1, y + 2, 0, -1, 3.0);
        EXPECT_GT(above, 2.0);
        const double below = f.ToBlack(x + 1, y + 2, 0, 1, 5.0);
        EXPECT_GT(below, 2.0);
        // Room for a name: at least 50 mm of empty field, and a plain row's field runs on past
        // where a split row's right cell starts.
        const double run = f.ToBlack(x, y + 2, 1, 0, f.form.width);
        EXPECT_GT(run, 50.0);
        if (!split) {
          EXPECT_GT(x + run, f.form.right_cell_x + 20);
        }
      }
    }
  }
}

TEST(SampleFormTest, FilesReadBackAsTheDrawing) {
  const testing::ScratchDir dir("tolv-forms");
  WriteSampleForms(dir.path());
  for (int16_t Blank : kBlanks) {
    SCOPED_TRACE(Blank);
    const Bitmap& bitmap = Drawing(Blank);

    // The picture, through the reader the program loads pictures with.
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(dir.File(PictureFileName(Blank)).c_str(), &error);
    ASSERT_NE(pixbuf, nullptr) << (error ? error->message : "");
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), bitmap.width());
    ASSERT_EQ(gdk_pixbuf_get_height(pixbuf), bitmap.height());
    const guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    const int rowstride = gdk_pixbuf_get_rowstride(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    int64_t mismatches = 0;
    for (int y = 0; y < bitmap.height(); ++y) {
      for (int x = 0; x < bitmap.width(); ++x) {
        const guchar* p = pixels + static_cast<size_t>(y) * rowstride + x * channels;
        const bool black = p[0] == 0 && p[1] == 0 && p[2] == 0;
        const bool white = p[0] == 255 && p[1] == 255 && p[2] == 255;
        if (!(bitmap.IsBlack(x, y) ? black : white)) ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0);
    g_object_unref(pixbuf);

    // The form data: every black pixel once, in reading order, in black, inside the picture.
    const std::string data = testing::ReadWholeFile(dir.File(DataFileName(Blank)));
    EXPECT_EQ(data.size() % kFormDotSize, 0u);
    const std::vector<FormDot> dots = DecodeFormData(data);
    EXPECT_EQ(static_cast<int64_t>(dots.size()), bitmap.BlackCount());
    int64_t faults = 0;
    for (size_t n = 0; n < dots.size(); ++n) {
      const FormDot& dot = dots[n];
      const bool inside =
          dot.DotX >= 0 && dot.DotY >= 0 && dot.DotX < bitmap.width() && dot.DotY < bitmap.height();
      const bool in_order = n == 0 || dot.DotY > dots[n - 1].DotY ||
                            (dot.DotY == dots[n - 1].DotY && dot.DotX > dots[n - 1].DotX);
      if (!inside || !in_order || dot.DotColor != 0 || !bitmap.IsBlack(dot.DotX, dot.DotY)) {
        ++faults;
      }
    }
    EXPECT_EQ(faults, 0);
  }
  // Only the fourteen files stay behind: no temporary file is left over.
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
    ++files;
  EXPECT_EQ(files, 14);
}

TEST(SampleFormTest, AnUnwritableDirectoryIsReported) {
  const testing::ScratchDir dir("tolv-forms");
  const std::filesystem::path file = dir.File("not-a-directory");
  std::ofstream(file) << "x";
  EXPECT_THROW(WriteSampleForms(file.string()), std::runtime_error);
  EXPECT_THROW(WriteSampleForms((file / "below").string()), std::runtime_error);
}

}  // namespace
}  // namespace tolv::forms
