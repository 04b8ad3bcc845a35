// CCITT Group 4 (ITU-T T.6) encoding of a 1-bit image, as PDF's CCITTFaxDecode filter reads it
// with K = -1: every row coded against the row above it (an all-white row above the first), no
// end-of-line codes, bits filled from the most significant, and the end-of-block code at the end.
//
// The PDF printer hands Cairo its dot masks with this encoding attached: Cairo then stores the
// bytes as they are instead of compressing the mask with zlib, which for a page of scattered dots
// took most of the run. A row costs a bit or two plus a few bits for each change of colour, so a
// mask of form lines or of sparse dots becomes small; a dense speckle does not, and is better left
// to zlib (the caller compares the size).
#ifndef TOLV_PICTURE_CCITT_G4_H_
#define TOLV_PICTURE_CCITT_G4_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolv {

// Encodes a width x height image whose row y starts at rows + y * stride, one bit a pixel, the
// first pixel of each byte in its lowest bit (Cairo's 1-bit images on a little-endian machine), 1
// for a marked (black) pixel. Returns the encoded bytes, or "" when they would be longer than
// max_bytes (the encoding stops there).
std::string EncodeG4(const uint8_t* rows, size_t stride, int32_t width, int32_t height,
                     size_t max_bytes);

// The decoding parameters that go with it, in Cairo's form for CAIRO_MIME_TYPE_CCITT_FAX_PARAMS:
// marked pixels are coded as black, and black decodes to 1.
std::string G4Params(int32_t width, int32_t height);

}  // namespace tolv

#endif  // TOLV_PICTURE_CCITT_G4_H_
