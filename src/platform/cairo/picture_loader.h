// LoadPicture: reads a picture file with gdk-pixbuf into a Picture, after the shared checks of
// platform/picture_format.h (format from the content, completeness, size).
#ifndef TOLV_PLATFORM_CAIRO_PICTURE_LOADER_H_
#define TOLV_PLATFORM_CAIRO_PICTURE_LOADER_H_

#include <string>
#include <string_view>

#include "picture/picture.h"
#include "picture/picture_format.h"

namespace tolv {

// Decodes a picture held in memory. The result is opaque 0xAARRGGBB; transparent parts are
// composited over white. Raises RuntimeError for an unknown format, a truncated or damaged
// picture, or one over kMaxPicturePixels.
PicturePtr DecodePicture(std::string_view bytes);

// Reads and decodes a picture file. Raises RuntimeError (kFileNotFound) when the file is missing,
// not a regular file or unreadable, and as DecodePicture otherwise.
PicturePtr LoadPicture(const std::string& path);

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_PICTURE_LOADER_H_
