#pragma once

#include "imaging/bitmap.h"

namespace kx::imaging {

// Exact pixel moves on page bitmaps of every type and depth: no resampling, the palette,
// transparency and background colour kept. Worker or decoder thread; null is ignored.

// Mirrors the page left-right in place. Pages of fewer than 8 bits per pixel are mirrored
// pixel by pixel (FreeImage's own mirror shifts a 4-bit page of odd width by a column); the
// padding bits at the end of each row stay as they were.
void flipHorizontal(FIBITMAP* page);

// Mirrors the page top-bottom in place.
void flipVertical(FIBITMAP* page);

// A new page whose rows are the columns of `page`: pixel (x, y) becomes (y, x), counting from
// the top-left corner. Width and height swap, and so do the horizontal and vertical dots per
// metre. Null when `page` is null or the new page cannot be allocated.
Bitmap transposed(FIBITMAP* page);

} // namespace kx::imaging
