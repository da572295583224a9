#include "base/number_text.h"

#include "base/text.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace kx::base {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The value of a digit in `radix` (16 at most), or -1.
int digitValue(char c, int radix) {
    const int digit = hexDigitValue(c);
    return digit < radix ? digit : -1;
}

// Whether a decimal number that does not fit is too large (rather than too small): its first
// significant digit stands at a non-negative power of ten.
bool isLargeMagnitude(std::string_view integerPart, std::string_view fractionPart,
                      int64_t exponent) {
    const auto firstInteger = integerPart.find_first_not_of('0');
    if (firstInteger != std::string_view::npos)
        return static_cast<int64_t>(integerPart.size() - firstInteger - 1) + exponent >= 0;
    const auto firstFraction = fractionPart.find_first_not_of('0');
    if (firstFraction == std::string_view::npos)
        return false;
    return exponent - static_cast<int64_t>(firstFraction + 1) >= 0;
}

template <typename Real> NumberRead<Real> readReal(std::string_view text) {
    size_t at = 0;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        ++at;
    const size_t start = at;
    while (at < text.size() && isDigit(text[at]))
        ++at;
    const std::string_view integerPart = text.substr(start, at - start);
    std::string_view fractionPart;
    if (at < text.size() && text[at] == '.') {
        const size_t fractionStart = ++at;
        while (at < text.size() && isDigit(text[at]))
            ++at;
        fractionPart = text.substr(fractionStart, at - fractionStart);
    }
    if (integerPart.empty() && fractionPart.empty())
        return {};

    int64_t exponent = 0;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        size_t digits = at + 1;
        const bool negativeExponent = digits < text.size() && text[digits] == '-';
        if (digits < text.size() && (text[digits] == '-' || text[digits] == '+'))
            ++digits;
        if (digits < text.size() && isDigit(text[digits])) {
            for (at = digits; at < text.size() && isDigit(text[at]); ++at) {
                // Far beyond any exponent a real can have; stop growing so the sum cannot
                // overflow.
                if (exponent < 1'000'000)
                    exponent = exponent * 10 + (text[at] - '0');
            }
            if (negativeExponent)
                exponent = -exponent;
        }
    }

    // from_chars ignores the locale, unlike strtod.
    Real number = 0;
    const auto [end, error] =
        std::from_chars(text.data() + start, text.data() + at, number, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        number = isLargeMagnitude(integerPart, fractionPart, exponent)
                     ? std::numeric_limits<Real>::infinity()
                     : Real{0};
    }
    return {negative ? -number : number, at};
}

} // namespace

NumberRead<int32_t> readInteger(std::string_view text, Overflow overflow, bool radixMarks) {
    size_t at = 0;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        ++at;
    int radix = 10;
    if (radixMarks && at < text.size() && (text[at] == '$' || text[at] == '%')) {
        radix = text[at] == '$' ? 16 : 2;
        ++at;
    }
    const size_t start = at;
    // Unsigned arithmetic wraps by definition; the saturated magnitude stops one past the
    // largest int32 so that the smallest one is still reached.
    constexpr uint64_t k_limit = uint64_t{std::numeric_limits<int32_t>::max()} + 1;
    uint32_t wrapped = 0;
    uint64_t saturated = 0;
    for (int digit; at < text.size() && (digit = digitValue(text[at], radix)) >= 0; ++at) {
        wrapped = wrapped * static_cast<uint32_t>(radix) + static_cast<uint32_t>(digit);
        saturated = std::min(k_limit, saturated * static_cast<uint64_t>(radix) +
                                          static_cast<uint64_t>(digit));
    }
    if (at == start)
        return {};
    if (overflow == Overflow::Wrap)
        return {static_cast<int32_t>(negative ? 0u - wrapped : wrapped), at};
    const int64_t value = negative ? -static_cast<int64_t>(saturated)
                                   : std::min<int64_t>(static_cast<int64_t>(saturated),
                                                       std::numeric_limits<int32_t>::max());
    return {static_cast<int32_t>(value), at};
}

NumberRead<float> readFloat(std::string_view text) {
    return readReal<float>(text);
}

NumberRead<double> readDouble(std::string_view text) {
    return readReal<double>(text);
}

float realOfText(std::string_view text) {
    if (equalsIgnoringCase(text, "+Infinity"))
        return std::numeric_limits<float>::infinity();
    if (equalsIgnoringCase(text, "-Infinity"))
        return -std::numeric_limits<float>::infinity();
    if (equalsIgnoringCase(text, "NaN"))
        return std::numeric_limits<float>::quiet_NaN();
    return readFloat(text).value;
}

} // namespace kx::base
