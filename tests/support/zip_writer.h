#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kx::test {

// One file of a zip archive made by a test.
struct ZipEntry {
    std::string name;
    std::string data;
    bool deflate = true;
    // The uncompressed size written into the headers; the real size when unset. A smaller
    // value makes the entry lie about its size, as a zip bomb does.
    std::optional<std::uint32_t> statedSize;
};

// The bytes of a zip archive holding `entries`, in order.
std::string makeZip(const std::vector<ZipEntry>& entries);

} // namespace kx::test
