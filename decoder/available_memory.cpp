#include "decoder/available_memory.h"

#include <fstream>
#include <string>

namespace kx::engine {

uint64_t availableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    uint64_t kibibytes = 0;
    std::string unit;
    while (meminfo >> key >> kibibytes >> unit) {
        if (key == "MemAvailable:")
            return kibibytes * 1024;
    }
    return UINT64_MAX / 4;
}

} // namespace kx::engine
