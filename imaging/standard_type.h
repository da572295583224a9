#pragma once

#include "imaging/bitmap.h"

#include <functional>

namespace kx::imaging {

// Greyscale as loaded: one sample per pixel (16-bit, 32-bit and float grey types), or a
// standard bitmap whose palette is a grey ramp (min-is-black or min-is-white).
bool isGreyscale(FIBITMAP* page);

// The page as a standard bitmap (FIT_BITMAP): float colour pages are tone-mapped to 24 bits
// (Drago, gamma 1.0, exposure 0), 16-bit colour pages are scaled to 8 bits per sample (RGBA16
// to 32 bits), every other non-standard type is scaled linearly to 8-bit grey. A standard page
// is returned as it is; null when FreeImage cannot convert it or the page is null. Keeps the
// resolution. The one place that decides how a non-standard page becomes a standard one.
Bitmap standardizePage(Bitmap page);

// Brings greyscale pages (see isGreyscale), 16-bit and float ones included, to a standard page
// by linear scaling, as standardizePage does. Other pages and null pass through.
Bitmap standardizeGreyscale(Bitmap page);

// Brings pages of more than 32 bits per pixel to a standard bitmap as standardizePage does:
// 16-bit integer RGB(A) is scaled to 8 bits per sample, float (high dynamic range) colour is
// tone-mapped. Other pages and null pass through.
Bitmap toneMap(Bitmap page);

// FreeImage's conversion of a page into a new bitmap, leaving its argument alone.
using PageConversion = std::function<FIBITMAP*(FIBITMAP*)>;

// Replaces the page by `convert(page)`. FreeImage's conversions refuse many non-standard types
// (16-bit grey, float), so when a non-standard page is refused it is standardised and converted
// again rather than lost. The result keeps the page's resolution; null when even that fails.
Bitmap convertPage(Bitmap page, const PageConversion& convert);

// convertPage with FreeImage_ConvertTo24Bits.
Bitmap convertPageTo24Bits(Bitmap page);

} // namespace kx::imaging