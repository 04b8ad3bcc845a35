// LoadPicture on Windows: the file's bytes are read once, checked by the shared rules (format,
// completeness, size) and decoded by the Windows Imaging Component from memory.
#ifndef TOLV_PLATFORM_WIN32_WIC_PICTURE_LOADER_H_
#define TOLV_PLATFORM_WIN32_WIC_PICTURE_LOADER_H_

#include <string>
#include <string_view>

#include "picture/picture.h"

namespace tolv {

// Decodes a picture held in memory into opaque 0xAARRGGBB pixels, transparent parts over white.
// Raises RuntimeError for what WIC cannot decode and for pictures over 64 million pixels.
PicturePtr DecodePictureWic(std::string_view bytes);

// Reads (path in UTF-8) and decodes a picture file; raises RuntimeError (kFileNotFound) when it
// is missing, not a regular file or unreadable.
PicturePtr LoadPictureWic(const std::string& path);

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_WIC_PICTURE_LOADER_H_
