#include "ui/http_fetch.h"

#include "ui/version_reply.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>

namespace kx::ui {

namespace {

using Clock = std::chrono::steady_clock;

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Rounded up, so that the deadline is never given up early.
int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// When the exchange must end: its deadline, or earlier on request.
struct Ending {
    Clock::time_point deadline;
    std::stop_token stop;
};

// Waits for `events` on `fd` until the exchange must end; false then or on error. The wait is
// cut into short slices so that a stop request is seen within one of them.
bool waitFor(int fd, short events, const Ending& ending) {
    constexpr int k_sliceMs = 50;
    for (;;) {
        const int left = remainingMs(ending.deadline);
        if (left == 0 || ending.stop.stop_requested())
            return false;
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, std::min(left, k_sliceMs));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

// A non-blocking connection to one of the resolved addresses, so that an unreachable host
// costs at most the time left instead of the system's minutes-long connect timeout.
int connectTo(const HttpAddress& address, const Ending& ending) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.port);
    if (::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found) != 0)
        return -1;
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, ::freeaddrinfo);
    for (const addrinfo* candidate = found; candidate; candidate = candidate->ai_next) {
        const int fd =
            ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                     candidate->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, candidate->ai_addr, candidate->ai_addrlen) == 0)
            return fd;
        if (errno == EINPROGRESS && waitFor(fd, POLLOUT, ending)) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
                return fd;
        }
        ::close(fd);
    }
    return -1;
}

bool sendAll(int fd, const std::string& bytes, const Ending& ending) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t wrote = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (wrote > 0) {
            sent += static_cast<std::size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(fd, POLLOUT, ending))
            continue;
        return false;
    }
    return true;
}

} // namespace

std::string fetchVersionText(const std::string& address, const std::string& userAgent,
                             std::chrono::milliseconds limit, std::stop_token stop) {
    const Ending ending{Clock::now() + limit, std::move(stop)};
    if (address.empty())
        return {};
    const auto split = splitHttpAddress(address);
    if (!split)
        return {};
    Socket socket(connectTo(*split, ending));
    if (socket.fd() < 0)
        return {};
    if (!sendAll(socket.fd(), buildVersionRequest(*split, userAgent), ending))
        return {};

    // Gather until the server closes, up to the buffer's size; a reply not complete by the
    // deadline is a failure, however steadily it arrives.
    std::string reply(k_maxReplyBytes, '\0');
    std::size_t filled = 0;
    while (filled < reply.size()) {
        if (!waitFor(socket.fd(), POLLIN, ending))
            return {};
        const ssize_t got = ::recv(socket.fd(), reply.data() + filled, reply.size() - filled, 0);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            break; // a reset after the reply still leaves the reply to read
        }
        filled += static_cast<std::size_t>(got);
    }
    reply.resize(filled);
    return versionTextOfReply(reply);
}

} // namespace kx::ui
