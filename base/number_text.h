#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kx::base {

// Numbers read from the start of a text, alike whatever the C or Qt locale: "." is the only
// decimal separator. Leading blanks are the caller's to skip, as each kind of text has its own.

// A number and the count of characters it took; 0 characters, with the value 0, when the text
// does not start with one.
template <typename Number> struct NumberRead {
    Number value{};
    size_t length = 0;
};

// How an integer too wide for 32 bits ends: wrapped modulo 2^32, or at the nearer limit.
enum class Overflow { Wrap, Saturate };

// An optional sign, then decimal digits up to the first character that is not one. With
// `radixMarks`, "$" after the sign reads hexadecimal digits instead and "%" binary ones.
NumberRead<int32_t> readInteger(std::string_view text, Overflow overflow, bool radixMarks = false);

// An optional sign, decimal digits with an optional "." and fraction (one digit at least), then
// an optional exponent ("e" or "E", an optional sign, digits), read up to the first character
// that does not fit. Too large a magnitude gives an infinity, too small a one gives zero.
NumberRead<float> readFloat(std::string_view text);
NumberRead<double> readDouble(std::string_view text);

// What a whole setting or option value stands for: "+Infinity", "-Infinity" or "NaN" in any
// letter case, else readFloat's value.
float realOfText(std::string_view text);

} // namespace kx::base
