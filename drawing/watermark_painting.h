#pragma once

#include "settings/settings.h"

#include <QFont>
#include <QImage>

#include <optional>
#include <string>

namespace kx::drawing {

// The watermark font the settings describe: family, point size, style and effect. Nothing
// without a QGuiApplication (fonts need one).
std::optional<QFont> watermarkFont(const settings::Settings& settings);

// True when `family` names an installed face, directly or through a configured alias; a name
// that only falls back to the default face is false. False without a QGuiApplication.
bool fontAvailable(const std::string& family);

// The text watermark box: `text` split at its line-break tokens, in `font`, on the background
// colour, at the text and background opacities; antialiased when the settings ask. Null when
// the box is empty or too large, or without a QGuiApplication.
QImage textWatermark(const std::string& text, const QFont& font,
                     const settings::Settings& settings);

// The image watermark at its opacity on a transparent canvas, greyed when the settings ask; its
// own transparent parts stay transparent. Null when the image is empty or too large.
QImage imageWatermark(const QImage& image, const settings::Settings& settings);

} // namespace kx::drawing
