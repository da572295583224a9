#pragma once

#include "engine/bitmap.h"
#include "settings/settings.h"

#include <cstdint>
#include <string_view>

namespace kx::engine {

// Rotates counter-clockwise by `Image Rotation` when rotation is on and the angle is 1..359.
// Simple rotation grows the canvas and fills the corners with the back colour; advanced
// rotation turns about the centre on a canvas of the same size. Pages of 16 bits or fewer, or
// of more than 32, are brought to 24 bits first. A null page passes through.
Bitmap rotateImage(Bitmap page, const settings::Settings& settings);

// Rescales to the configured size (see resolveSize) with the configured filter. A null page
// passes through.
Bitmap resizeImage(Bitmap page, const settings::Settings& settings);

// Mirrors in place, left-right then top-bottom, as configured. Null is ignored.
void flipImage(FIBITMAP* page, const settings::Settings& settings);

// Six hex digits RRGGBB to red + 256 green + 65536 blue; any other length is black.
uint32_t parseColor(std::string_view text);

// `value` pixels (unit 0) or percent of `current` rounded half to even (unit 1); other
// units give 0.
int resolveSize(int value, int unit, int current);

} // namespace kx::engine
