#pragma once

#include "imaging/bitmap.h"
#include "settings/settings.h"

namespace kx::engine {

// The four optional colour steps, run in this order after flipping. Each takes the page and
// returns the one to continue with; a null page passes through.
imaging::Bitmap adjustImageColors(imaging::Bitmap page, const settings::Settings& settings);
imaging::Bitmap greyscaleImage(imaging::Bitmap page, const settings::Settings& settings);
imaging::Bitmap thresholdImage(imaging::Bitmap page, const settings::Settings& settings);
imaging::Bitmap ditherImage(imaging::Bitmap page, const settings::Settings& settings);

} // namespace kx::engine
