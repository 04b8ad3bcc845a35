// LoadPicture: reads a picture file with gdk-pixbuf into a Picture.
//
// The format is found from the content, whatever the name ends in: BMP (every depth, RLE
// included), GIF, JPEG, PNG, ICO and TIFF; anything else is refused. gdk-pixbuf returns a cut-off
// BMP, PNG, JPEG or ICO without an error (the missing rows black or grey), so the structure of
// those formats is checked for completeness first; a picture over 64 million pixels is refused
// before it is decoded.
#ifndef TOLV_PLATFORM_CAIRO_PICTURE_LOADER_H_
#define TOLV_PLATFORM_CAIRO_PICTURE_LOADER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/picture.h"

namespace tolv {

constexpr int64_t kMaxPicturePixels = 64'000'000;

enum class PictureFormat { kUnknown, kBmp, kGif, kJpeg, kPng, kIco, kTiff };

// The format the bytes start like.
PictureFormat SniffPictureFormat(std::string_view bytes);
// The pixels a picture's header announces, from its first bytes (BMP, PNG, GIF); 0 when the
// header does not say (other formats, too few bytes).
int64_t HeaderPixels(std::string_view bytes);

// Whether the bytes hold the whole picture as far as its structure tells (all pixel rows of a BMP,
// up to IEND of a PNG, up to EOI of a JPEG, the first image of a GIF, every image of an ICO).
// TIFF is left to the decoder, which reports a cut-off file itself.
bool PictureDataComplete(PictureFormat format, std::string_view bytes);

// Decodes a picture held in memory. The result is opaque 0xAARRGGBB; transparent parts are
// composited over white. Raises RuntimeError for an unknown format, a truncated or damaged
// picture, or one over kMaxPicturePixels.
PicturePtr DecodePicture(std::string_view bytes);

// Reads and decodes a picture file. Raises RuntimeError (kFileNotFound) when the file is missing,
// not a regular file or unreadable, and as DecodePicture otherwise.
PicturePtr LoadPicture(const std::string& path);

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_PICTURE_LOADER_H_
