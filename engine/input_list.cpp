#include "engine/input_list.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace kx::engine {

namespace {

constexpr size_t k_readSize = size_t{64} << 10;

} // namespace

size_t InputListReader::longestPath() {
    return PATH_MAX - 1;
}

InputListReader::Next InputListReader::next(std::string& path) {
    for (;;) {
        const size_t end = entryEnd();
        if (end == std::string::npos) {
            // Room for a carriage return after the longest path.
            if (m_buffer.size() - m_at > longestPath() + 1) {
                ++m_entries;
                return Next::TooLong;
            }
            if (!m_ended) {
                if (const Next filled = fill(); filled != Next::Path)
                    return filled;
                continue;
            }
            if (m_at == m_buffer.size())
                return Next::End;
        }
        const size_t stop = end == std::string::npos ? m_buffer.size() : end;
        path.assign(m_buffer, m_at, stop - m_at);
        m_at = end == std::string::npos ? stop : stop + 1;
        ++m_entries;
        if (m_separators == Separators::Lines && !path.empty() && path.back() == '\r')
            path.pop_back();
        if (path.size() > longestPath())
            return Next::TooLong;
        if (!path.empty())
            return Next::Path;
    }
}

size_t InputListReader::entryEnd() {
    const size_t end = m_separators == Separators::Nuls
                           ? m_buffer.find('\0', m_at)
                           : m_buffer.find_first_of(std::string_view("\n\0", 2), m_at);
    // The first separator says which kind the list uses.
    if (end != std::string::npos && m_separators == Separators::Unknown)
        m_separators = m_buffer[end] == '\0' ? Separators::Nuls : Separators::Lines;
    return end;
}

InputListReader::Next InputListReader::fill() {
    // What was read already is dropped first, so the buffer holds at most one entry and a read.
    m_buffer.erase(0, m_at);
    m_at = 0;
    pollfd waiting[2] = {{m_fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
    for (;;) {
        if (poll(waiting, m_stopFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return Next::Unreadable;
        }
        if (m_stopFd >= 0 && waiting[1].revents != 0)
            return Next::Stopped;
        const size_t had = m_buffer.size();
        m_buffer.resize(had + k_readSize);
        const ssize_t got = read(m_fd, m_buffer.data() + had, k_readSize);
        m_buffer.resize(had + static_cast<size_t>(got > 0 ? got : 0));
        if (got > 0)
            return Next::Path;
        if (got == 0) {
            m_ended = true;
            return Next::Path;
        }
        if (errno != EINTR && errno != EAGAIN)
            return Next::Unreadable;
    }
}

} // namespace kx::engine
