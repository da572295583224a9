#pragma once

#include "engine/bitmap.h"

#include <functional>

namespace kx::engine {

// The page as a standard bitmap (FIT_BITMAP): float colour pages are tone-mapped to 24 bits
// (Drago, gamma 1.0, exposure 0), 16-bit colour pages are scaled to 8 bits per sample, every
// other non-standard type is scaled linearly to 8-bit grey. A standard page is returned as it is;
// null when FreeImage cannot convert it or the page is null. Keeps the resolution.
Bitmap standardizePage(Bitmap page);

// FreeImage's conversion of a page into a new bitmap, leaving its argument alone.
using PageConversion = std::function<FIBITMAP*(FIBITMAP*)>;

// Replaces the page by `convert(page)`. FreeImage's conversions refuse many non-standard types
// (16-bit grey, float), so when a non-standard page is refused it is standardised and converted
// again rather than lost. The result keeps the page's resolution; null when even that fails.
Bitmap convertPage(Bitmap page, const PageConversion& convert);

// convertPage with FreeImage_ConvertTo24Bits.
Bitmap convertPageTo24Bits(Bitmap page);

} // namespace kx::engine
