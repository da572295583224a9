#pragma once

#include <functional>
#include <string>
#include <thread>

namespace kx::test {

// A server on 127.0.0.1 that takes one connection on a free port, reads the request up to
// its empty line, and hands the socket to `reply` (run on the server's own thread). The
// socket is closed when `reply` returns. Destroying the server waits for that.
class LocalHttpServer {
public:
    using Reply = std::function<void(int socket)>;

    explicit LocalHttpServer(Reply reply);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:PORT" + path.
    std::string address(const std::string& path) const;
    // The request as received; valid once the server's thread has ended.
    const std::string& request() const { return m_request; }

    // Helpers for replies.
    static void sendText(int socket, const std::string& text);
    // Waits until the client closes its end (or `seconds` pass).
    static void waitForClose(int socket, int seconds);

private:
    int m_listener = -1;
    int m_port = 0;
    std::string m_request;
    std::thread m_thread;
};

// A port on 127.0.0.1 where nothing listens, so a connection is refused.
int refusingPort();

} // namespace kx::test
