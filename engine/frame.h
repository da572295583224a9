#pragma once

#include "imaging/bitmap.h"
#include "settings/settings.h"

namespace kx::engine {

// Paints the solid four-sided frame over the page's edges at `Solid Opacity` when `Do Frame`
// is 1; the result is 24 bits. Any other non-zero `Do Frame` only converts to 24 bits.
// The drawing is done by the drawing module (see drawing_module.h); when it is missing, a page
// that needs a frame comes back null. A null page passes through.
imaging::Bitmap drawFrame(imaging::Bitmap page, const settings::Settings& settings);

} // namespace kx::engine
