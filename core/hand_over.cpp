#include "core/hand_over.h"

#include "base/fd_io.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

namespace kx::core {

bool handOver(const std::string& socketPath, const std::string& file) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);

    // The receiver runs in another folder, so a relative name would mean another file there.
    std::string message;
    if (!file.empty()) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(file, error);
        message = error ? file : absolute.lexically_normal().string();
    }
    message.push_back('\0');

    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A message this small fits the socket's buffer, so sending never waits for the reader.
    // Only a copy of this user's is told the path: another user listening there learns nothing.
    const bool sent =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
        base::peerIsThisUser(fd) && base::sendAll(fd, message.data(), message.size());
    close(fd);
    return sent;
}

} // namespace kx::core
