// The printer's dots in a PDF page.
//
// Cairo's PDF backend grows slower with every mark it is given: one fill per dot took 18 s for
// 100,000 dots, and one path of rectangles still took 5 s and 19 MB of PDF for 1,000,000. Here
// each colour's dots become one 1-bit stencil mask of their bounding box, painted once in that
// colour with the nearest filter, so that every set bit fills exactly its own device pixel; a
// colour with few dots far apart (where a mask would be mostly empty) becomes a path of its runs
// of neighbouring dots instead. A mask of scattered dots carries its Group 4 code (ccitt_g4.h),
// which Cairo stores as it is rather than spend most of the run compressing the mask.
#ifndef TOLV_PLATFORM_CAIRO_CAIRO_DOTS_H_
#define TOLV_PLATFORM_CAIRO_CAIRO_DOTS_H_

#include <cairo.h>

#include <cstdint>

#include "surface/dot_layer.h"

namespace tolv {

// A colour's dots become a mask when there are at least this many and the mask's bytes are at
// most kMaskBytesPerDot for each dot; else a path of runs. A path costs Cairo a few microseconds
// a dot, a mask about as much for each kilobyte it has.
constexpr int64_t kMinMaskDots = 64;
constexpr int64_t kMaskBytesPerDot = 1024;

// Drains the layer into cr, whose user space is the printer's device pixels, each dot inset by
// (inset_x, inset_y) inside its pixel's edges. A mask that cannot be made puts its error into cr,
// where the document's end finds it.
void PaintDots(DotLayer& layer, cairo_t* cr, double inset_x, double inset_y);

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_CAIRO_DOTS_H_
