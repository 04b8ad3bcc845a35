// What tolv knows of picture files before any decoder sees them, the same on every machine: the
// format found from the content whatever the name ends in (BMP of every depth, RLE included, GIF,
// JPEG, PNG, ICO, TIFF; anything else is refused), whether the structure holds the whole picture
// (decoders hand back a cut-off BMP, PNG, JPEG or ICO without an error, the missing rows black or
// grey), the 64-million-pixel limit, and a direct reader for the plain BMP files most form
// pictures are. The machine's decoder (gdk-pixbuf, WIC) runs after these checks.
#ifndef TOLV_PICTURE_PICTURE_FORMAT_H_
#define TOLV_PICTURE_PICTURE_FORMAT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "picture/picture.h"

namespace tolv {

constexpr int64_t kMaxPicturePixels = 64'000'000;

enum class PictureFormat { kUnknown, kBmp, kGif, kJpeg, kPng, kIco, kTiff };

// The format the bytes start like.
PictureFormat SniffPictureFormat(std::string_view bytes);
// The pixels a picture's header announces, from its first bytes (BMP, PNG, GIF's screen, JPEG's
// frame); 0 when the header does not say (other formats, too few bytes).
int64_t HeaderPixels(std::string_view bytes);

// Whether the bytes hold the whole picture as far as its structure tells (all pixel rows of a BMP,
// up to IEND of a PNG, up to EOI of a JPEG, the first image of a GIF, every image of an ICO).
// TIFF is left to the decoder, which reports a cut-off file itself.
bool PictureDataComplete(PictureFormat format, std::string_view bytes);

// Raises the run-time error of a picture that cannot be read ("invalid picture: <why>").
[[noreturn]] void RefusePicture(const std::string& why);

// The checks before decoding: returns the format; raises RuntimeError for an unknown format, a
// header no decoder reads, a picture whose header announces over kMaxPicturePixels, or a
// truncated picture.
PictureFormat CheckPictureBytes(std::string_view bytes);

// Raises RuntimeError for a picture over kMaxPicturePixels.
void CheckPictureSize(int64_t width, int64_t height);

struct PixelSize {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const PixelSize&) const = default;
};

// The size a picture's first bytes state plainly, as the decoders would decode it: a BMP's or
// PNG's header, a GIF whose first image fills its screen from the corner, a JPEG's frame header.
// Nothing when the bytes do not say (other formats, odd or zero sizes, a header beyond the bytes).
std::optional<PixelSize> HeaderSize(std::string_view head);

// A picture file's size, for a caller that needs nothing else: opened and its header refused as
// ReadPictureFile does (missing, unreadable, too large a file, unknown format, a header no
// decoder reads, over the pixel limit), and read no further where HeaderSize finds the size in
// the first 256 KiB; any other picture is decoded whole by `decode`. A damaged body behind a
// sound header goes unnoticed.
PixelSize ReadPictureSize(const std::string& path, const std::function<PicturePtr()>& decode);

// An uncompressed 1, 4, 8 or 24-bit BMP with a Windows header, the palette right after it and the
// pixels right after that, read directly into opaque 0xAARRGGBB pixels, pixel for pixel as the
// decoders read it. nullptr for anything else (another header, compression or depth, gaps before
// the pixels), which goes to the machine's decoder. The caller has checked that the rows are all
// there.
PicturePtr DecodePlainBmp(std::string_view bytes);

// A picture file's bytes: its header first, checked as CheckPictureBytes checks it (format, a
// header a decoder reads, the pixel limit), then the rest, no further than the picture can use (an
// uncompressed BMP ends with its last row). Raises RuntimeError (kFileNotFound) when the file is
// missing, not a regular file or unreadable, and refuses a file too large to hold a picture within
// the limit before any of it is read. The path is UTF-8.
std::string ReadPictureFile(const std::string& path);

}  // namespace tolv

#endif  // TOLV_PICTURE_PICTURE_FORMAT_H_
