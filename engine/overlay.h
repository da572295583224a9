#pragma once

#include "engine/bitmap.h"

#include <QColor>
#include <QImage>

#include <cstdint>
#include <string_view>

namespace kx::engine {

// The largest overlay canvas drawn for a watermark: a side Qt's raster painter still
// addresses exactly, and 256 MiB of 32-bit pixels. Larger boxes (huge fonts, paddings or
// images) are not drawn at all rather than exhausting memory.
inline constexpr int64_t k_maxCanvasSide = 32767;
inline constexpr int64_t k_maxCanvasPixels = int64_t{1} << 26;

// True when a w x h canvas is non-empty and within the limits above.
bool canvasSizeAllowed(int64_t width, int64_t height);

// A fully transparent 32-bit ARGB canvas at 96 dots per inch, so point sizes of fonts give
// the same pixel sizes whatever screen the program runs on. Null when the size is empty or
// the memory cannot be had.
QImage transparentCanvas(int width, int height);

// `value` limited to the opacity range 0..255.
int clampOpacity(int64_t value);

// The colour of a six-digit RRGGBB text with the given alpha (clamped to 0..255); any other
// text is black.
QColor colorWithAlpha(std::string_view text, int64_t alpha);

// The page as a 24-bit bitmap, converted when it has another depth or type. When FreeImage
// cannot convert it, the page comes back unchanged (callers check the depth before drawing
// and leave such a page undecorated). Null passes through.
Bitmap pageTo24Bits(Bitmap page);

// True when `page` is a 24-bit standard bitmap that can be drawn over.
bool isDrawable24Bits(FIBITMAP* page);

// A 32-bit FreeImage bitmap with the same straight (not premultiplied) RGBA pixels as
// `image`, rows flipped to FreeImage's bottom-up order. Null on failure.
Bitmap toFreeImage(const QImage& image);

// A QImage of a bitmap of any depth FreeImage can bring to 32 bits: ARGB32 when the bitmap has
// transparency, RGB32 otherwise. Null on failure or when the size exceeds the canvas limits.
QImage toQImage(FIBITMAP* bitmap);

// The page with `overlay` (32-bit, same size) composited over it; the page's resolution is
// kept. When FreeImage refuses, the page comes back undecorated.
Bitmap compositeOver(Bitmap page, FIBITMAP* overlay);

} // namespace kx::engine
