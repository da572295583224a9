#include "ui/version_reply.h"

#include <cctype>

namespace kx::ui {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

} // namespace

std::optional<HttpAddress> splitHttpAddress(std::string_view address) {
    if (const auto scheme = address.find("://"); scheme != std::string_view::npos)
        address.remove_prefix(scheme + 3);
    HttpAddress result;
    const std::size_t slash = address.find('/');
    std::string_view hostPort = address.substr(0, slash);
    if (slash != std::string_view::npos)
        result.path = std::string(address.substr(slash));
    if (const auto colon = hostPort.rfind(':'); colon != std::string_view::npos) {
        const std::string_view digits = hostPort.substr(colon + 1);
        if (digits.empty() || digits.size() > 5)
            return std::nullopt;
        int port = 0;
        for (char c : digits) {
            if (!std::isdigit(static_cast<unsigned char>(c)))
                return std::nullopt;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535)
            return std::nullopt;
        result.port = port;
        hostPort = hostPort.substr(0, colon);
    }
    if (hostPort.empty())
        return std::nullopt;
    result.host = std::string(hostPort);
    return result;
}

std::string buildVersionRequest(const HttpAddress& address, std::string_view userAgent) {
    if (userAgent.empty())
        userAgent = k_defaultUserAgent;
    std::string request = "GET " + address.path + " HTTP/1.0\r\n";
    request += "Host: " + address.host + "\r\n";
    request += "Accept: */*\r\n";
    request += "User-Agent: " + std::string(userAgent) + "\r\n";
    request += "Connection: close\r\n\r\n";
    return request;
}

bool replySucceeded(std::string_view reply) {
    constexpr std::string_view k_protocol = "HTTP/";
    if (!reply.starts_with(k_protocol))
        return false;
    reply.remove_prefix(k_protocol.size());
    const std::size_t blank = reply.find(' ');
    const std::string_view version = reply.substr(0, blank);
    if (blank == std::string_view::npos || version.empty() ||
        version.find_first_not_of("0123456789.") != std::string_view::npos)
        return false;
    const std::string_view status = reply.substr(blank + 1, 4);
    const bool threeDigits =
        status.size() >= 3 && std::isdigit(static_cast<unsigned char>(status[1])) &&
        std::isdigit(static_cast<unsigned char>(status[2])) &&
        (status.size() == 3 || !std::isdigit(static_cast<unsigned char>(status[3])));
    return threeDigits && status[0] == '2';
}

std::string versionTextOfReply(std::string_view reply) {
    reply = reply.substr(0, reply.find('\0'));
    if (!replySucceeded(reply))
        return {};
    const std::size_t gap = reply.find("\r\n\r\n");
    if (gap == std::string_view::npos)
        return {};
    std::string_view body = reply.substr(gap + 4);
    while (!body.empty() && isBlank(body.front()))
        body.remove_prefix(1);
    while (!body.empty() && isBlank(body.back()))
        body.remove_suffix(1);
    return std::string(body.substr(0, 3));
}

int parseVersionBody(std::string_view text) {
    int number = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        number = number * 10 + (c - '0');
        if (number > 100'000'000)
            break;
    }
    return number;
}

} // namespace kx::ui
