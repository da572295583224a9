#pragma once

#include <sys/types.h>

#include <cstddef>

namespace kx::decoder {

// One sendmsg of `data` on a Unix socket with the descriptor `passed` attached (none when it is
// -1), retried when interrupted. The bytes sent, or -1 with errno set. Never raises SIGPIPE.
ssize_t sendMessage(int fd, const void* data, size_t size, int passed);

// One recvmsg into `data` with `flags` (MSG_DONTWAIT: -1 with EAGAIN when nothing is there),
// retried when interrupted; `passed` gets the descriptor that came with it (close-on-exec), or
// -1. The bytes received, 0 at end of input, or -1.
ssize_t receiveMessage(int fd, void* data, size_t size, int& passed, int flags = 0);

} // namespace kx::decoder