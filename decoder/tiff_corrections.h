#pragma once

#include "decoder/page_budget.h"
#include "imaging/bitmap.h"

#include <string>

typedef struct tiff TIFF;

namespace kx::decoder {

// FreeImage's TIFF loader gets some kinds of page wrong. The ones it cannot be helped with are
// decoded with libtiff instead; the others are repaired after FreeImage decoded them.

// True for pages FreeImage decodes wrong beyond repair: CMYK (tiled CMYK comes out with wrong
// colours and K as alpha), half floats (16-bit IEEE samples) and 8-bit grey with alpha (the
// alpha is lost).
bool decodesWithLibtiff(const PageFacts& facts);

// Decodes the current directory of `tiff`, a page for which decodesWithLibtiff holds: CMYK to
// 24-bit RGB (32-bit with its alpha, unpremultiplied), half floats to FreeImage's float types
// (grey, RGB, RGBA), grey with alpha to 32-bit RGBA (unpremultiplied). Null with `why` saying
// why when libtiff cannot decode it.
imaging::Bitmap decodeWithLibtiff(TIFF* tiff, const PageFacts& facts, std::string& why);

// Repairs in place what FreeImage's loader got wrong on a page it decoded: transparency on a
// page whose TIFF declares no alpha (no ExtraSamples), 16-bit min-is-white samples left as
// stored (a negative), associated alpha left premultiplied. Null passes.
void correctDecodedPage(FIBITMAP* page, const PageFacts& facts);

} // namespace kx::decoder