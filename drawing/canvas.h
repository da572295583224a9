#pragma once

#include "imaging/bitmap.h"

#include <QColor>
#include <QImage>

#include <cstdint>
#include <string_view>

namespace kx::drawing {

// A fully transparent 32-bit ARGB canvas at 96 dots per inch, so point sizes of fonts give
// the same pixel sizes whatever screen the program runs on. Null when the size is empty or
// the memory cannot be had.
QImage transparentCanvas(int width, int height);

// A transparent canvas of `layer`'s size with `layer` drawn on it at `opacity` (clamped to
// 0..255): how frames and image watermarks get their opacity, so that where they are
// composited the page shows through them. Null when the canvas cannot be had.
QImage atOpacity(const QImage& layer, int64_t opacity);

// The colour of a six-digit RRGGBB text with the given alpha (clamped to 0..255); any other
// text is black.
QColor colorWithAlpha(std::string_view text, int64_t alpha);

// A 32-bit FreeImage bitmap with the same straight (not premultiplied) RGBA pixels as
// `image`, rows flipped to FreeImage's bottom-up order. Null on failure.
imaging::Bitmap toFreeImage(const QImage& image);

// A QImage of a bitmap of any depth FreeImage can bring to 32 bits: ARGB32 when the bitmap has
// transparency, RGB32 otherwise. Null on failure or when the size exceeds the canvas limits.
QImage toQImage(FIBITMAP* bitmap);

} // namespace kx::drawing
