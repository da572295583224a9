#pragma once

#include <chrono>
#include <stop_token>
#include <string>

namespace kx::ui {

// The most of a reply that is kept; the rest is not read.
inline constexpr std::size_t k_maxReplyBytes = 2048;

// The longest an exchange may take from its start: connecting, sending the request and
// gathering the reply share this one deadline, so a server that trickles its reply a byte at
// a time holds the check no longer than one that sends nothing.
inline constexpr std::chrono::milliseconds k_fetchLimit = std::chrono::seconds(10);

// Fetches `address` ("http://host[:port]/path", port 80 when none is given) with a plain
// HTTP/1.0 GET sent as `userAgent` (a fixed browser name when empty) and returns the version
// text of the reply (see versionTextOfReply): at most three characters, empty on any failure,
// on a reply whose status is not 2xx, once `limit` has passed since the call, and soon after
// `stop` is requested. The reply is gathered until the server closes the connection or
// k_maxReplyBytes arrived. Only the host name lookup is left to the system resolver's own
// timeout. Blocking, no Qt: any thread.
std::string fetchVersionText(const std::string& address, const std::string& userAgent,
                             std::chrono::milliseconds limit = k_fetchLimit,
                             std::stop_token stop = {});

} // namespace kx::ui
