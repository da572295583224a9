#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kx::base {

// The loops around read(2) and write(2) that every descriptor user needs: interrupted and
// short transfers are retried. Any thread; each returns false with errno saying why.

// Writes all `size` bytes to `fd`. A write that makes no progress fails with ENOSPC.
bool writeAll(int fd, const void* data, size_t size);
inline bool writeAll(int fd, std::string_view bytes) {
    return writeAll(fd, bytes.data(), bytes.size());
}

// writeAll at file offset `offset` (pwrite(2)), leaving the descriptor's own offset where it
// was: several writers may fill one file at once, each its own ranges.
bool writeAllAt(int fd, const void* data, size_t size, uint64_t offset);

// writeAll for a socket whose reader may vanish: that gives EPIPE instead of killing the
// process with SIGPIPE. Other descriptors are written as writeAll writes them.
bool sendAll(int fd, const void* data, size_t size);

// Whether the process at the other end of the Unix socket `fd` runs as this process's user
// (SO_PEERCRED); false when that cannot be told. A local socket another user can reach must
// not be trusted with a path, nor its paths be acted on.
bool peerIsThisUser(int fd);

// Waits at most `timeoutMs` (negative: forever) until `fd` has something to read.
bool waitReadable(int fd, int timeoutMs);

// Reads exactly `size` bytes, waiting at most `timeoutMs` for each piece (negative: forever).
// The end of the stream before `size` bytes fails.
bool readAll(int fd, void* data, size_t size, int timeoutMs = -1);

// Reads up to `size` bytes until the end of the stream; the count read. Never blocks longer
// than `fd` does.
size_t readUpTo(int fd, void* data, size_t size);

// Reads up to `size` bytes of the file `fd` from `offset`, leaving its file offset alone; the
// count read, short at the end of the file or on an error.
size_t readUpToAt(int fd, uint64_t offset, void* data, size_t size);

// Copies the first `size` bytes of the file `from` to `to` inside the kernel.
bool copyFileContent(int from, uint64_t size, int to);

} // namespace kx::base
