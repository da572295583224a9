#pragma once

#include <chrono>
#include <string>

namespace kx::ui {

// The most of a reply that is kept; the rest is not read.
inline constexpr std::size_t k_maxReplyBytes = 2048;

// Fetches `address` ("http://host[:port]/path", port 80 when none is given) with a plain
// HTTP/1.0 GET sent as `userAgent` (a fixed browser name when empty) and returns the version
// text of the reply (see versionTextOfReply): at most three characters, empty on any failure.
// The reply is gathered until the server closes the connection or k_maxReplyBytes arrived; a
// server that sends nothing for `silence` is given up. Blocking, no Qt: any thread.
std::string fetchVersionText(const std::string& address, const std::string& userAgent,
                             std::chrono::milliseconds silence = std::chrono::seconds(10));

} // namespace kx::ui
