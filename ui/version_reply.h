#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kx::ui {

// The parts of a plain web address "[scheme://]host[:port][/path]".
struct HttpAddress {
    std::string host;
    int port = 80;
    std::string path = "/"; // always begins with "/"
};

// Splits `address`; the port defaults to 80 and the path to "/". nullopt when the host is
// empty or the port is not a number from 1 to 65535.
std::optional<HttpAddress> splitHttpAddress(std::string_view address);

// The user agent sent when none is given.
inline constexpr std::string_view k_defaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; en)";

// The HTTP/1.0 request for `address`, line by line with CR LF ends and an empty last line.
// An empty `userAgent` sends k_defaultUserAgent.
std::string buildVersionRequest(const HttpAddress& address, std::string_view userAgent);

// True when `reply` begins with a status line that reports success: "HTTP/" and a version,
// then a 2xx status code ("HTTP/1.0 200 OK"). An error page ("404 Not Found") is no version.
bool replySucceeded(std::string_view reply);

// The version text of a whole reply: the reply up to its first NUL, the part after the first
// empty line (CR LF CR LF), trimmed of blanks, cut to its first three characters. Empty when
// the reply did not succeed (see replySucceeded) or has no empty line.
std::string versionTextOfReply(std::string_view reply);

// The number the version text starts with ("320\r\n" gives 320); 0 when it does not start
// with a digit.
int parseVersionBody(std::string_view text);

} // namespace kx::ui
