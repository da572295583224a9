#pragma once

#include <cstdint>

namespace kx::base {

// The memory the system can give without swapping (MemAvailable), or a large value when it
// cannot be read. Read again at most once a second. Any thread. Kept apart from the page budget,
// which reads TIFF directories, so that the program's own size checks do not bring libtiff in.
uint64_t availableMemory();

} // namespace kx::base