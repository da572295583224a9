#include "base/available_memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kx::base {

namespace {

// MemAvailable from /proc/meminfo, read with one system call; 0 when it cannot be read.
uint64_t readMemAvailable() {
    const int fd = open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[8192];
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    if (got <= 0)
        return 0;
    text[got] = '\0';
    const char* line = std::strstr(text, "MemAvailable:");
    return line ? std::strtoull(line + 13, nullptr, 10) * 1024 : 0;
}

} // namespace

uint64_t availableMemory() {
    // Read at most once a second: a run asks for every page it resizes or decodes, and the
    // figure does not move faster than that matters.
    static std::mutex lock;
    static uint64_t known = 0;
    static std::chrono::steady_clock::time_point readAt;
    std::lock_guard guard(lock);
    const auto now = std::chrono::steady_clock::now();
    if (known == 0 || now - readAt > std::chrono::seconds(1)) {
        const uint64_t read = readMemAvailable();
        known = read != 0 ? read : UINT64_MAX / 4;
        readAt = now;
    }
    return known;
}

} // namespace kx::base