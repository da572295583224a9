#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>

namespace kx::test {

// While it lives, files this process and the processes it starts write may not grow past
// `bytes`: a write past it fails (SIGXFSZ is ignored), as it does on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int);
};

} // namespace kx::test
