#pragma once

#include "imaging/bitmap.h"

#include <algorithm>
#include <cstdint>

namespace kx::engine {

// `value` limited to the opacity range 0..255.
inline int clampOpacity(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, 0, 255));
}

// The page as a 24-bit bitmap, converted when it has another depth or type. When FreeImage
// cannot convert it, the page comes back unchanged (callers check the depth before drawing
// and leave such a page undecorated). Null passes through.
imaging::Bitmap pageTo24Bits(imaging::Bitmap page);

// True when `page` is a 24-bit standard bitmap that can be drawn over.
bool isDrawable24Bits(FIBITMAP* page);

// The page with `overlay` (32-bit, same size) composited over it; the page's resolution is
// kept. When FreeImage refuses, the page comes back undecorated.
imaging::Bitmap compositeOver(imaging::Bitmap page, FIBITMAP* overlay);

} // namespace kx::engine
