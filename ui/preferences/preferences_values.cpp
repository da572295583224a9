#include "ui/preferences/preferences_values.h"

#include "base/number_text.h"
#include "base/text.h"
#include "settings/settings.h"

#include <cmath>
#include <cstdio>

namespace kx::ui::prefs {

namespace {

bool isBlank(char c) {
    return c == ' ';
}

} // namespace

int32_t leadingInteger(std::string_view text) {
    return base::readInteger(base::trimmed(text, " \t"), base::Overflow::Saturate).value;
}

bool isPartialNumber(std::string_view text) {
    return text.empty() || text == "-" || text == "+";
}

int gammaCount(double gamma) {
    if (std::isnan(gamma))
        return 100;
    const double count = std::round(gamma * 100.0);
    if (count < 1.0)
        return 1;
    if (count > 999.0)
        return 999;
    return static_cast<int>(count);
}

int gammaCountOfText(std::string_view text) {
    return gammaCount(base::readDouble(base::trimmed(text)).value);
}

std::string gammaText(int count) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d.%02d", count / 100, count % 100);
    return buffer;
}

std::string cleanedText(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (c != '\t' && c != '\r' && c != '\n')
            kept += c;
    }
    size_t first = 0;
    while (first < kept.size() && isBlank(kept[first]))
        ++first;
    size_t last = kept.size();
    while (last > first && isBlank(kept[last - 1]))
        --last;
    return kept.substr(first, last - first);
}

std::vector<std::string> splitList(std::string_view list) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string_view::npos)
            comma = list.size();
        std::string_view item = list.substr(start, comma - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (!item.empty())
            items.emplace_back(item);
        start = comma + 1;
    }
    return items;
}

void appendToList(std::string& list, std::string_view item) {
    if (!list.empty())
        list += ',';
    list += item;
}

Rgb colourOf(std::string_view text) {
    const uint32_t value = base::parseColor(text);
    return {static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
            static_cast<int>((value >> 16) & 0xFF)};
}

std::string colourText(Rgb colour) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02X%02X%02X", colour.red & 0xFF, colour.green & 0xFF,
                  colour.blue & 0xFF);
    return buffer;
}

std::string normalisedColour(std::string_view text) {
    return colourText(colourOf(text));
}

int refreshRequestFor(std::string_view oldTheme, std::string_view newTheme, int32_t oldSize,
                      int32_t newSize) {
    if (oldTheme != newTheme)
        return 1;
    return oldSize != newSize ? 2 : 0;
}

int8_t colourCorrectionWanted(const settings::Settings& s) {
    return s.imageBrightness != 0 || s.imageContrast != 0 || s.imageGamma != 1.0f ||
                   s.imageInvert != 0
               ? 1
               : 0;
}

} // namespace kx::ui::prefs