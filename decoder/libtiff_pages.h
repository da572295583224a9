#pragma once

#include "decoder/page_budget.h"
#include "imaging/bitmap.h"

#include <string>

typedef struct tiff TIFF;

namespace kx::decoder {

// Pages decoded with libtiff instead of FreeImage's TIFF loader. FreeImage keeps the kinds it
// decodes right (1-, 4- and 8-bit grey and palette, 16-bit grey, 8- and 16-bit RGB(A), 32-bit
// float RGB(A), YCbCr); every other kind libtiff can decode comes here.

// True for the pages decodeWithLibtiff decodes rather than FreeImage.
bool decodesWithLibtiff(const PageFacts& facts);

// Decodes the current directory of `tiff` into one of the page types the chain uses: grey
// (and lightness-only Lab) as 8-bit grey, palettes of up to 8 bits as an 8-bit palette, every
// other kind as 24-bit RGB, or 32-bit RGBA where the page has an alpha sample, which is
// unpremultiplied where it is associated. Samples deeper than 8 bits are mapped by value over
// the range of their type; float RGB(A) stays float (FIT_RGBF, FIT_RGBAF). CMYK and Lab become
// RGB as libtiff's RGBA reader makes them; photometrics it has its own conversion for
// (YCbCr, LogLuv) go through that reader. Rows come out as stored in the file, whatever the
// Orientation tag says. Null with `why` saying why when the page cannot be decoded.
imaging::Bitmap decodeWithLibtiff(TIFF* tiff, const PageFacts& facts, std::string& why);

} // namespace kx::decoder
