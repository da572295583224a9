#include "decoder/wire/descriptor_passing.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace kx::decoder {

ssize_t sendMessage(int fd, const void* data, size_t size, int passed) {
    iovec part{const_cast<void*>(data), size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (passed >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &passed, sizeof(int));
    }
    ssize_t sent;
    do
        sent = sendmsg(fd, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent;
}

ssize_t receiveMessage(int fd, void* data, size_t size, int& passed, int flags) {
    passed = -1;
    iovec part{data, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = recvmsg(fd, &message, MSG_CMSG_CLOEXEC | flags);
    while (got < 0 && errno == EINTR);
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); got > 0 && header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
            header->cmsg_len == CMSG_LEN(sizeof(int)))
            std::memcpy(&passed, CMSG_DATA(header), sizeof(int));
    }
    return got;
}

} // namespace kx::decoder