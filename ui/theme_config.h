#pragma once

#include <string>
#include <string_view>

namespace kx::ui {

// Reads the value of `key` in `section` of a theme's "theme.cfg" text. The section header
// "[section]" and the key are matched without regard to case; the key must begin a line (it
// is found after a CR LF) inside the section, and a key that is a prefix of another matches
// the first such line. The value is the text between the line's first "=" and the next "="
// or the line's end, trimmed of blanks, with every TAB, CR and LF removed. Returns an empty
// string when the section or the key is missing. A last line without CR LF is read up to
// the end of the text.
std::string readThemeValue(std::string_view text, std::string_view section, std::string_view key);

// Completes a picture's file name from theme.cfg: a name ending in ".png" (any letter case)
// stays as it is; any other name becomes name + "_" + pixels + ".png".
std::string completePictureFileName(std::string_view name, int pixels);

// The file name of the same picture for a screen of scale factor `scale` (2): a name ending
// in ".png" gets "@2x" before it; any other name becomes name + "_" + pixels x scale + ".png".
std::string scaledPictureFileName(std::string_view name, int pixels, int scale);

} // namespace kx::ui
