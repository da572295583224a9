#pragma once

#include "decoder/tiff/page_budget.h"
#include "imaging/bitmap.h"

#include <string>

typedef struct tiff TIFF;

namespace kx::decoder {

// Decodes the current directory of `tiff` into one of the page types the chain uses. Grey
// and palette pages of 1, 4 and 8 bits keep their depth behind a palette (a grey ramp, or the
// colour map); 16-bit grey stays 16-bit (FIT_UINT16); RGB of 8 or 16 bits stays so, with its
// alpha sample unpremultiplied where it is associated (24- or 32-bit, FIT_RGB16, FIT_RGBA16).
// Other grey kinds (and lightness-only Lab) become 8-bit grey, deeper palettes and every other
// kind 24-bit RGB, or 32-bit RGBA where the page has an alpha sample; their samples are mapped
// by value over the range of their type, and float RGB(A) stays float (FIT_RGBF, FIT_RGBAF).
// CMYK and Lab become RGB as libtiff's RGBA reader makes them; photometrics it has its own
// conversion for (YCbCr, LogLuv) go through that reader. An extra sample that is not alpha is
// dropped. Rows come out as stored in the file, whatever the Orientation tag says. Null with
// `why` saying why when the page cannot be decoded.
imaging::Bitmap decodeWithLibtiff(TIFF* tiff, const PageFacts& facts, std::string& why);

} // namespace kx::decoder
