#pragma once

#include "settings/settings.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The value rules of the Preferences window, apart from its widgets so they can be checked
// without a display.
namespace kx::ui::prefs {

// The integer that `text` begins with (optional sign, then digits), like C's atoi; 0 when
// there is none. Values beyond the int32 range saturate instead of overflowing.
int32_t leadingInteger(std::string_view text);

// True while `text` cannot hold a number yet ("", "-" or "+"): a number box leaves such text
// alone so that a negative value can be typed.
bool isPartialNumber(std::string_view text);

// Gamma in hundredths, clamped to 1..999: the count of a gamma value or of its text (parsed
// as a real). Not-a-number counts as 100, the neutral gamma.
int gammaCount(double gamma);
int gammaCountOfText(std::string_view text);

// `count` / 100 with two decimals ("1.00").
std::string gammaText(int count);

// Text as stored from a single-line field: without leading and trailing spaces and without
// any TAB, CR or LF.
std::string cleanedText(std::string_view text);

// The items of a comma-separated list setting, each trimmed of spaces; empty items dropped.
std::vector<std::string> splitList(std::string_view list);

// Appends `item` to a comma-separated list setting (no leading comma when it was empty).
void appendToList(std::string& list, std::string_view item);

// Six upper-case hex digits of a colour text as the engine reads it (other lengths are black).
std::string normalisedColour(std::string_view text);

// Red, green and blue of a colour text as the engine reads it.
struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};
Rgb colourOf(std::string_view text);
std::string colourText(Rgb colour);

// What the main window must rebuild: 1 when the theme changed, else 2 when the icon size
// changed, else 0.
int refreshRequestFor(std::string_view oldTheme, std::string_view newTheme, int32_t oldSize,
                      int32_t newSize);

// `Do Image Color Correction` as derived from brightness, contrast, gamma and invert.
int8_t colourCorrectionWanted(const settings::Settings& settings);

} // namespace kx::ui::prefs