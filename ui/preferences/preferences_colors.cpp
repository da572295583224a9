#include "ui/preferences/preferences_colors.h"

#include "ui/common/ui_text.h"
#include "ui/preferences/preferences_values.h"

#include <QColor>
#include <QPainter>

#include <string>

namespace kx::ui::prefs {

namespace {

struct NamedColour {
    const char* hex;
    const char* key;
};

constexpr NamedColour k_namedColours[] = {
    {"000000", "Black"},  {"C0C0C0", "Silver"}, {"808080", "Gray"},   {"FFFFFF", "White"},
    {"800000", "Maroon"}, {"FF0000", "Red"},    {"800080", "Purple"}, {"FF00FF", "Fuchsia"},
    {"008000", "Green"},  {"00FF00", "Lime"},   {"808000", "Olive"},  {"FFFF00", "Yellow"},
    {"000080", "Navy"},   {"0000FF", "Blue"},   {"008080", "Teal"},   {"00FFFF", "Aqua"},
    {"FF8000", "Orange"}, {"804000", "Brown"},  {"8000FF", "Violet"},
};

} // namespace

QString colourName(std::string_view colour) {
    const std::string hex = normalisedColour(colour);
    for (const NamedColour& named : k_namedColours) {
        if (hex == named.hex)
            return uiText("Preferences", named.key);
    }
    return uiText("Preferences", "Color") + " #" + qtext(hex);
}

QPixmap colourSwatch(std::string_view colour, int width, int height) {
    const Rgb rgb = colourOf(colour);
    QPixmap swatch(width, height);
    swatch.fill(QColor(rgb.red, rgb.green, rgb.blue));
    // A thin grey edge keeps white and light colours visible on a light list.
    QPainter painter(&swatch);
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(0, 0, width - 1, height - 1);
    return swatch;
}

} // namespace kx::ui::prefs