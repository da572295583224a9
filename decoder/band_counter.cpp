#include "decoder/band_counter.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace kx::decoder {

BandCounter::BandCounter() : m_fd(memfd_create("kestrelix-bands", MFD_CLOEXEC)) {
    if (m_fd >= 0 && ftruncate(m_fd, sizeof *m_count) == 0)
        map();
}

BandCounter::BandCounter(int fd) : m_fd(fd) {
    struct stat facts {};
    if (m_fd >= 0 && fstat(m_fd, &facts) == 0 && facts.st_size >= off_t{sizeof *m_count})
        map();
}

BandCounter::~BandCounter() {
    if (m_count)
        munmap(m_count, sizeof *m_count);
    if (m_fd >= 0)
        close(m_fd);
}

void BandCounter::map() {
    void* mapped = mmap(nullptr, sizeof *m_count, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    m_count = mapped == MAP_FAILED ? nullptr : static_cast<uint32_t*>(mapped);
}

uint32_t BandCounter::claim() {
    // Lock-free atomics on shared memory work between processes.
    static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);
    return std::atomic_ref<uint32_t>(*m_count).fetch_add(1, std::memory_order_relaxed);
}

} // namespace kx::decoder
