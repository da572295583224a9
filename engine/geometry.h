#pragma once

#include "imaging/bitmap.h"
#include "settings/settings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kx::engine {

// Whether the settings turn pages at all: rotation on and an angle of 1..359.
inline bool rotationWanted(const settings::Settings& settings) {
    return settings.doImageRotation && settings.imageRotation > 0 && settings.imageRotation < 360;
}

// Rotates counter-clockwise by `Image Rotation` when rotation is on and the angle is 1..359.
// Simple rotation grows the canvas and fills the corners with the back colour; advanced
// rotation turns about the centre on a canvas of the same size. Pages of 16 bits or fewer, or
// of more than 32, are brought to 24 bits first (16-bit grey and float pages by way of a standard
// type). A quarter turn of the simple rotation swaps the horizontal and vertical resolution. A
// null page passes through; null when FreeImage cannot convert or rotate the page.
imaging::Bitmap rotateImage(imaging::Bitmap page, const settings::Settings& settings);

// Rescales to the configured size (see resolveSize) with the configured filter; with Keep Aspect
// Ratio only the longer side's target counts and the other side is at least 1 pixel. "Large
// Images" never enlarges: without Keep Aspect Ratio each side larger than its target comes down
// to it and a smaller side is kept; with it a page that would grow is left alone. A null page
// passes through. Null when the new size would need more than half of the machine's memory or
// FreeImage cannot rescale the page.
imaging::Bitmap resizeImage(imaging::Bitmap page, const settings::Settings& settings);

// Why resizeImage would refuse `page` (a size whose rescaling needs more memory than is
// available, or a side too long), or empty.
std::string resizeProblem(FIBITMAP* page, const settings::Settings& settings);

// Mirrors in place, left-right then top-bottom, as configured. Null is ignored.
void flipImage(FIBITMAP* page, const settings::Settings& settings);

// `value` pixels (unit 0) or percent of `current` rounded half to even (unit 1); other
// units give 0. Results beyond the int range are clamped.
int resolveSize(int value, int unit, int current);

} // namespace kx::engine
