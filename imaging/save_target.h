#pragma once

#include <cstdint>
#include <string>

namespace kx::imaging {

// What decides how a page is saved: the run's output format, depth and flags, and the facts of
// the page as loaded that automatic depth follows.
struct SaveTarget {
    std::string outputFormatKey; // run
    int32_t freeImageFormat = 0; // run
    int32_t targetDepth = 0;     // run; 0 = automatic, resolved per page
    int32_t saveFlags = 0;       // run
    bool autoDepth = false;      // run
    int32_t sourceDepth = 0;     // page, bits per pixel as loaded
    bool sourceGrey = false;     // page, a greyscale page as loaded
};

} // namespace kx::imaging
