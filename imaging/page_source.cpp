#include "imaging/page_source.h"

#include "base/fd_io.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kx::imaging {

EncodedPage& EncodedPage::operator=(EncodedPage&& other) noexcept {
    if (this == &other)
        return *this;
    if (m_memory >= 0)
        close(m_memory);
    width = other.width;
    height = other.height;
    sourceDepth = other.sourceDepth;
    sourceGrey = other.sourceGrey;
    m_bytes = std::move(other.m_bytes);
    m_memory = std::exchange(other.m_memory, -1);
    m_size = other.m_size;
    m_inOutput = other.m_inOutput;
    return *this;
}

EncodedPage::~EncodedPage() {
    if (m_memory >= 0)
        close(m_memory);
}

void EncodedPage::setBytes(std::string bytes) {
    m_bytes = std::move(bytes);
}

void EncodedPage::setInOutput(uint64_t size) {
    m_inOutput = true;
    m_size = size;
}

void EncodedPage::setMemoryFile(int memory, uint64_t size) {
    if (m_memory >= 0)
        close(m_memory);
    m_memory = memory;
    m_size = size;
}

bool EncodedPage::writeTo(int fd) const {
    if (!hasFile() || m_inOutput) {
        errno = EINVAL;
        return false;
    }
    if (m_memory < 0)
        return base::writeAll(fd, m_bytes);
    return base::copyFileContent(m_memory, m_size, fd);
}

} // namespace kx::imaging
