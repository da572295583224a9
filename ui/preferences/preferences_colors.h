#pragma once

#include <QPixmap>
#include <QString>

#include <string_view>

namespace kx::ui::prefs {

// The name a colour entry carries: the string-table name of one of the twenty named colours,
// or "Color #RRGGBB" for any other. `colour` is a colour text of the settings.
QString colourName(std::string_view colour);

// A `width` x `height` image filled with the colour of a colour text, inside a one-pixel grey
// edge.
QPixmap colourSwatch(std::string_view colour, int width, int height);

} // namespace kx::ui::prefs