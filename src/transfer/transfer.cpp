// The composed page onto the printer: one stretched picture of Picture2, or (output mode 1) twenty
// horizontal bands, each rebuilt as a picture of its own through Picture1 and DestPic, so that no
// single draw carries the whole page.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "form/tolv_form.h"
#include "runtime/runtime.h"
#include "surface/pixel_picture_box.h"
#include "surface/scale.h"

namespace tolv {
namespace {

constexpr int16_t BandCount = 20;

// The bitmap description the row copies work with: 32-bit pixels, rows from the top down.
struct BitmapInfoHeader {
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// A sum of two 32-bit integers that raises an overflow instead of wrapping.
int32_t AddInt32(int32_t a, int32_t b) {
  return ToInt32(static_cast<long double>(static_cast<int64_t>(a) + b));
}

}  // namespace

void TolvForm::TransferPicture(const int32_t& X, const int32_t& Y, const int32_t& W,
                               const int32_t& H) {
  // No skip-and-continue here: a failure goes back to the calling driver, which skips the copy.
  printer().SetScaleMode(kScalePixels);
  trace().FormPlaced(*this, X, Y, W, H);
  Picture2().SetScaleMode(kScalePixels);
  if (job().PrintJob.PaperType == 1) {
    TransferPictureBanded(X, Y, W, H);
    return;
  }
  printer().PaintPicture(Picture2().Picture(), static_cast<float>(X), static_cast<float>(Y),
                         static_cast<float>(W), static_cast<float>(H));
}

void TolvForm::TransferPictureBanded(const int32_t& X, const int32_t& Y, const int32_t& W,
                                     const int32_t& H) {
  PictureBox& source = Picture2();
  PictureBox& band_box = Picture1();
  PictureBox& dest = DestPic();
  Printer& p = printer();

  float Ws = 0;
  float Hs = 0;
  int32_t BandRows = 0;
  int16_t stride = 0;
  BitmapInfoHeader header;
  std::vector<uint32_t> PixelBuffer;

  DoEvents();
  Step([&] { source.SetScaleMode(kScalePixels); });
  Step([&] { band_box.SetScaleMode(kScalePixels); });
  Step([&] { p.SetScaleMode(kScalePixels); });
  Step([&] { Ws = source.ScaleWidth(); });
  Step([&] { Hs = source.ScaleHeight(); });
  Step([&] { BandRows = ToInt32(Hs) / BandCount; });
  DoEvents();

  Step([&] { header.biSize = 40; });
  Step([&] { header.biWidth = ToInt32(Ws); });
  Step([&] { header.biHeight = ToInt32(-static_cast<long double>(Hs)); });
  Step([&] { header.biPlanes = 1; });
  Step([&] { header.biBitCount = 32; });
  Step([&] { header.biCompression = 0; });
  // Bytes per row, formed in 32 bits; only its store into the 16-bit stride overflows, from a
  // width of 8192 pixels on. The stride and the image size then stay 0, which an uncompressed
  // bitmap allows, and the transfer goes on.
  Step([&] {
    const int32_t bits = AddInt32(ToInt32(32.0L * ToInt32(Ws)), 31);
    stride = ToInt16(static_cast<long double>(bits / 32 * 4));
  });
  Step([&] {
    header.biSizeImage = static_cast<uint32_t>(ToInt32(
        static_cast<long double>(stride) * std::abs(static_cast<int64_t>(header.biHeight))));
  });
  DoEvents();

  // The whole composed picture, top row first, biWidth pixels a row.
  int32_t buffer_rows = 0;
  Step([&] {
    const int32_t columns = ToInt32(Ws);
    const int32_t rows = ToInt32(Hs);
    PixelBuffer.assign(static_cast<size_t>(columns) * static_cast<size_t>(rows), 0);
    buffer_rows = rows;
  });
  Step([&] {
    // The buffer was made for biWidth columns; never let a width that disagrees with it, or a
    // height read again, copy past its end.
    if (PixelBuffer.size() != static_cast<size_t>(header.biWidth) * buffer_rows) return;
    const int32_t count = std::min(ToInt32(source.ScaleHeight()), buffer_rows);
    source.GetImageRows(0, count, PixelBuffer.data(), header.biWidth);
  });
  DoEvents();

  int32_t y = 0;
  for (int16_t i = 0; i < BandCount; ++i) {
    // Picture1 is made the band's size before every band, the first included: the source's
    // width (it has another one when the background could not be loaded) and one band's rows (an
    // earlier call, the first copy of the page, may have left it at another band height). It is
    // never given the page's full height back: a band's picture needs no more than its rows,
    // and a full-height image would be copied twice per band.
    Step([&] { band_box.SetAutoRedraw(true); });
    Step([&] { band_box.SetWidth(source.Width()); });
    Step(
        [&] { band_box.SetHeight(ToSingle(static_cast<long double>(kTwipsPerPixel) * BandRows)); });
    Step([&] { band_box.Refresh(); });
    Step([&] { band_box.SetAutoRedraw(false); });
    DoEvents();

    // The band's rows into Picture1's persistent image, which they fill. Band i reads buffer rows
    // BandRows * i to BandRows * (i + 1) - 1, all inside the buffer as 20 * BandRows <= Hs.
    Step([&] {
      const size_t first = static_cast<size_t>(BandRows) * static_cast<size_t>(i) *
                           static_cast<size_t>(header.biWidth);
      const size_t end = first + static_cast<size_t>(BandRows) * header.biWidth;
      if (BandRows < 0 || end > PixelBuffer.size()) return;
      band_box.SetImageRows(0, BandRows, PixelBuffer.data() + first, header.biWidth);
    });
    Step([&] { band_box.SetPicture(band_box.Image()); });
    Step([&] { band_box.SetScaleMode(kScalePixels); });
    Step(
        [&] { band_box.SetHeight(ToSingle(static_cast<long double>(kTwipsPerPixel) * BandRows)); });
    DoEvents();

    Step([&] { dest.SetScaleMode(kScalePixels); });
    Step([&] { dest.SetWidth(ToSingle(band_box.ScaleWidth() * kTwipsPerPixel)); });
    Step([&] { dest.SetHeight(ToSingle(band_box.ScaleHeight() * kTwipsPerPixel)); });
    DoEvents();
    Step([&] { dest.SetAutoRedraw(true); });
    Step([&] { band_box.PrintContentInto(dest); });
    Step([&] { dest.SetPicture(dest.Image()); });
    Step([&] { dest.SetAutoRedraw(false); });
    DoEvents();

    // The bands follow each other on paper, H \ 20 device pixels apart; the remainder of H is left
    // out below the last one.
    Step([&] { y = (i == 0) ? Y : AddInt32(y, H / BandCount); });
    Step([&] {
      p.PaintPicture(dest.Picture(), static_cast<float>(X), static_cast<float>(y),
                     static_cast<float>(W), static_cast<float>(H / BandCount));
    });
    DoEvents();
  }
  // PixelBuffer goes with the call.
}

}  // namespace tolv
