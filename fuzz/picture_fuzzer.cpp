// The picture loader on arbitrary bytes, in every format gdk-pixbuf is asked to read (BMP with its
// RLE forms, GIF, JPEG, PNG, ICO, TIFF): the format sniffing, the completeness checks of every
// format run over the same bytes whatever they start like, the size read from the header alone
// (which must be the decoded picture's), and the decoding itself.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "fuzz_support.h"
#include "picture/picture_format.h"
#include "platform/cairo/picture_loader.h"
#include "runtime/runtime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolv;
  using namespace tolv::fuzz;
  const std::string_view bytes = AsBytes(data, size);

  // The checks must read only the bytes they are given, whatever those hold.
  for (PictureFormat format : {PictureFormat::kBmp, PictureFormat::kGif, PictureFormat::kJpeg,
                               PictureFormat::kPng, PictureFormat::kIco, PictureFormat::kTiff}) {
    (void)PictureDataComplete(format, bytes);
  }

  const std::optional<PixelSize> header = HeaderSize(bytes);
  // A picture of tens of millions of pixels (within the limit) takes seconds to decode and check
  // here, as a 100-byte RLE file or GIF can announce: such inputs would hold the fuzzer at a
  // crawl, and time out on a busy machine, without reaching new code. Their header checks ran
  // above; those over the limit still go on to be refused by the decoder.
  constexpr int64_t kDecodedHere = 4'000'000;
  if (const int64_t pixels = HeaderPixels(bytes);
      pixels > kDecodedHere && pixels <= kMaxPicturePixels) {
    return 0;
  }

  PicturePtr picture;
  if (!Step([&] { picture = DecodePicture(bytes); })) return 0;  // refused: a run-time error
  Require(picture != nullptr, "a picture decoded to nothing");
  Require(picture->width() > 0 && picture->height() > 0, "an empty picture");
  Require(int64_t{picture->width()} * picture->height() <= kMaxPicturePixels,
          "a picture over 64 million pixels");
  Require(picture->pixels().size() ==
              static_cast<size_t>(picture->width()) * static_cast<size_t>(picture->height()),
          "pixels do not fill the picture");
  for (uint32_t pixel : picture->pixels()) Require(pixel >> 24 == 0xFF, "a pixel not opaque");
  Require(!header || *header == PixelSize{picture->width(), picture->height()},
          "the header's size is not the decoded picture's");
  return 0;
}
