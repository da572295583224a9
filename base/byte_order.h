#pragma once

#include <cstddef>
#include <cstdint>

namespace kx::base {

// The unsigned number stored in the `size` bytes (at most 8) at `bytes`, most significant
// byte first when `bigEndian`: how file headers written on either kind of machine are read.
inline uint64_t readUnsigned(const unsigned char* bytes, size_t size, bool bigEndian) {
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i)
        value |= uint64_t{bytes[bigEndian ? size - 1 - i : i]} << (8 * i);
    return value;
}

} // namespace kx::base
