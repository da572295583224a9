#pragma once

#include "settings/settings.h"

#include <QImage>

namespace kx::drawing {

// The solid frame of a width x height page as one transparent layer: four mitred borders in
// their colours at `Solid Opacity`, drawn together so overlapping shapes do not darken each
// other. Null when the canvas cannot be had.
QImage frameOverlay(int width, int height, const settings::Settings& settings);

} // namespace kx::drawing
