#include "tests/support/local_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kx::test {

namespace {

// A socket bound to a free port of 127.0.0.1; its port in `port`.
int bindLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

LocalHttpServer::LocalHttpServer(Reply reply) {
    m_listener = bindLoopback(m_port);
    ::listen(m_listener, 1);
    m_thread = std::thread([this, reply = std::move(reply)] {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        char buffer[512];
        while (m_request.find("\r\n\r\n") == std::string::npos) {
            pollfd entry{client, POLLIN, 0};
            if (::poll(&entry, 1, 15000) <= 0)
                break;
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            m_request.append(buffer, static_cast<std::size_t>(got));
        }
        reply(client);
        ::close(client);
    });
}

LocalHttpServer::~LocalHttpServer() {
    // Wakes an accept() that never got a client.
    ::shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
    ::close(m_listener);
}

std::string LocalHttpServer::address(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void LocalHttpServer::sendText(int socket, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t wrote = ::send(socket, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (wrote <= 0)
            return;
        sent += static_cast<std::size_t>(wrote);
    }
}

void LocalHttpServer::waitForClose(int socket, int seconds) {
    char buffer[64];
    pollfd entry{socket, POLLIN, 0};
    while (::poll(&entry, 1, seconds * 1000) > 0 && ::recv(socket, buffer, sizeof buffer, 0) > 0) {
    }
}

int refusingPort() {
    int port = 0;
    const int fd = bindLoopback(port);
    ::close(fd); // bound but never listening: nothing takes connections there now
    return port;
}

} // namespace kx::test
