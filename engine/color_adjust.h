#pragma once

#include "engine/bitmap.h"
#include "settings/settings.h"

namespace kx::engine {

// The four optional colour steps, run in this order after flipping. Each takes the page and
// returns the one to continue with; a null page passes through.
Bitmap adjustImageColors(Bitmap page, const settings::Settings& settings);
Bitmap greyscaleImage(Bitmap page, const settings::Settings& settings);
Bitmap thresholdImage(Bitmap page, const settings::Settings& settings);
Bitmap ditherImage(Bitmap page, const settings::Settings& settings);

} // namespace kx::engine
