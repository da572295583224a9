// A web server on 127.0.0.1 that answers every request with a success reply sent one byte
// every 200 ms, for the tests that check that a slow update host holds neither the update
// check nor the window. Usage: trickle_server PORT LOG. Each connection it takes adds a line
// to LOG. It serves one connection at a time and ends by itself after two minutes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

void trickle(int client, Clock::time_point end) {
    std::string request;
    char buffer[512];
    while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd entry{client, POLLIN, 0};
        if (::poll(&entry, 1, 5000) <= 0)
            return;
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0)
            return;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string reply = "HTTP/1.0 200 OK\r\n\r\n" + std::string(1000, '9');
    for (char byte : reply) {
        if (Clock::now() > end || ::send(client, &byte, 1, MSG_NOSIGNAL) != 1)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0) {
        std::perror("trickle_server");
        return 1;
    }
    const Clock::time_point end = Clock::now() + std::chrono::minutes(2);
    while (Clock::now() < end) {
        pollfd entry{listener, POLLIN, 0};
        if (::poll(&entry, 1, 1000) <= 0)
            continue;
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        std::ofstream(argv[2], std::ios::app) << "connection\n";
        trickle(client, end);
        ::close(client);
    }
    return 0;
}
