#pragma once

#include "decoder/tiff/page_budget.h"
#include "imaging/bitmap.h"

typedef struct tiff TIFF;

namespace kx::decoder {

// A TIFF page's Orientation tag says where its first stored row and column belong on the
// picture. The decoder decodes every page in stored order and then turns it once, here, into
// the picture a viewer that honours the tag shows.

// The Orientation tag of the TIFF's current directory, 1 (top-left) to 8; 1 when it is missing
// (libtiff drops values outside that range as it reads the directory).
int readOrientation(TIFF* tiff);

// `page`, in stored order, as a viewer honouring `orientation` shows it: mirrored in place for
// tags 2 to 4, a new page with width and height (and the horizontal and vertical resolution)
// swapped for tags 5 to 8, the page itself for tag 1. Null when there is no memory for the
// turned page, or `page` is null.
imaging::Bitmap orientPage(imaging::Bitmap page, int orientation);

} // namespace kx::decoder
