#include "base/fd_io.h"

#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kx::base {

namespace {

// The shared loop of writeAll and sendAll: `put` writes once and returns what write(2) would.
template <typename Put> bool putAll(const void* data, size_t size, Put put) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = put(bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = ENOSPC;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// The shared loop of readUpTo and readUpToAt: `get` reads once into `into`, `filled` bytes
// having been read before, and returns what read(2) would.
template <typename Get> size_t getUpTo(void* data, size_t size, Get get) {
    auto* bytes = static_cast<char*>(data);
    size_t filled = 0;
    while (filled < size) {
        const ssize_t got = get(bytes + filled, size - filled, filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        filled += static_cast<size_t>(got);
    }
    return filled;
}

} // namespace

bool writeAll(int fd, const void* data, size_t size) {
    return putAll(data, size,
                  [fd](const char* bytes, size_t left) { return ::write(fd, bytes, left); });
}

bool writeAllAt(int fd, const void* data, size_t size, uint64_t offset) {
    const auto* start = static_cast<const char*>(data);
    return putAll(data, size, [&](const char* bytes, size_t left) {
        return ::pwrite(fd, bytes, left, static_cast<off_t>(offset + (bytes - start)));
    });
}

bool sendAll(int fd, const void* data, size_t size) {
    return putAll(data, size, [fd](const char* bytes, size_t left) {
        const ssize_t sent = ::send(fd, bytes, left, MSG_NOSIGNAL);
        return sent < 0 && errno == ENOTSOCK ? ::write(fd, bytes, left) : sent;
    });
}

bool peerIsThisUser(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer &&
           peer.uid == getuid();
}

bool waitReadable(int fd, int timeoutMs) {
    pollfd ready{fd, POLLIN, 0};
    int polled;
    do
        polled = poll(&ready, 1, timeoutMs);
    while (polled < 0 && errno == EINTR);
    return polled > 0;
}

bool readAll(int fd, void* data, size_t size, int timeoutMs) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        if (timeoutMs >= 0 && !waitReadable(fd, timeoutMs))
            return false;
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

size_t readUpTo(int fd, void* data, size_t size) {
    return getUpTo(data, size,
                   [fd](char* into, size_t left, size_t) { return ::read(fd, into, left); });
}

size_t readUpToAt(int fd, uint64_t offset, void* data, size_t size) {
    return getUpTo(data, size, [fd, offset](char* into, size_t left, size_t filled) {
        return ::pread(fd, into, left, static_cast<off_t>(offset + filled));
    });
}

bool copyFileContent(int from, uint64_t size, int to) {
    // The kernel copies from file to file without a trip through this process.
    off_t offset = 0;
    while (static_cast<uint64_t>(offset) < size) {
        const ssize_t sent =
            sendfile(to, from, &offset, static_cast<size_t>(size - static_cast<uint64_t>(offset)));
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0) {
            if (sent == 0)
                errno = EIO;
            return false;
        }
    }
    return true;
}

} // namespace kx::base
