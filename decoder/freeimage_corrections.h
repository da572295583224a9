#pragma once

#include "decoder/page_budget.h"

#include <FreeImage.h>

namespace kx::decoder {

// Repairs in place what FreeImage's TIFF loader got wrong on a page it decoded: transparency
// on a page whose TIFF declares no alpha (no ExtraSamples), 16-bit min-is-white samples left
// as stored (a negative), associated alpha left premultiplied (8 and 16 bits per sample).
// Null passes.
void correctDecodedPage(FIBITMAP* page, const PageFacts& facts);

} // namespace kx::decoder
