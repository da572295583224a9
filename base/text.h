#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kx::base {

// Text helpers for the ASCII texts of settings, options and file names: bytes outside ASCII
// are left as they are.

// `text` with ASCII letters upper-cased or lower-cased.
std::string upperCase(std::string_view text);
std::string lowerCase(std::string_view text);

// Whether `a` and `b` are the same text once ASCII letters are taken in one case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// `text` without leading and trailing characters of `blanks`, by default ASCII white space.
std::string_view trimmed(std::string_view text, std::string_view blanks = " \t\r\n\v\f");

// The value of an ASCII hexadecimal digit of either case, or -1.
int hexDigitValue(char c);

// Six hex digits RRGGBB to red + 256 green + 65536 blue; any other length is black. Each pair
// counts as far as its leading hex digits go ("1G" is 1, "GG" is 0).
uint32_t parseColor(std::string_view text);

} // namespace kx::base
