#pragma once

#include <cstdint>

namespace kx::imaging {

// Samples deeper than 8 bits become 8-bit levels by their value over the full range of their
// type, never stretched over the range a page happens to use: a flat page of 32768 in 16 bits
// is mid-grey, and two pages of different ranges keep their difference.

// The 8-bit level of an unsigned sample of `bits` bits (1 to 32): value * 255 / (2^bits - 1),
// rounded.
inline uint8_t levelOfUnsigned(uint32_t value, unsigned bits) {
    const uint64_t largest = (uint64_t{1} << bits) - 1;
    return static_cast<uint8_t>((uint64_t{value} * 255 + largest / 2) / largest);
}

// The 8-bit level of an unsigned 64-bit sample: value * 255 / (2^64 - 1), rounded.
inline uint8_t levelOf64Bits(uint64_t value) {
    const unsigned __int128 largest = ~uint64_t{0};
    return static_cast<uint8_t>((value * static_cast<unsigned __int128>(255) + largest / 2) /
                                largest);
}

// The 8-bit level of a signed sample of `bits` bits (2 to 32), counted from the type's
// minimum: -32768 is 0 and 32767 is 255 in 16 bits.
inline uint8_t levelOfSigned(int32_t value, unsigned bits) {
    const int64_t fromMinimum = int64_t{value} + (int64_t{1} << (bits - 1));
    return levelOfUnsigned(static_cast<uint32_t>(fromMinimum), bits);
}

// The 8-bit level of a real sample: 0..1 linearly to 0..255, rounded; below 0 and NaN are 0,
// above 1 is 255.
inline uint8_t levelOfReal(double value) {
    if (!(value > 0.0))
        return 0;
    if (value >= 1.0)
        return 255;
    return static_cast<uint8_t>(value * 255.0 + 0.5);
}

} // namespace kx::imaging
