#pragma once

#include <string>

namespace kx::core {

// Hands `file` (made absolute against this process's current folder; empty for none) to
// the running copy listening on the local socket `socketPath`, which then raises its window
// and takes the file as its input. The message is the path's bytes and a NUL. Returns at
// once: false when nobody listens there or the message could not be sent. Never blocks on
// the other copy; main thread.
bool handOver(const std::string& socketPath, const std::string& file);

} // namespace kx::core
