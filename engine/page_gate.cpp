#include "engine/page_gate.h"

#ifdef KX_PAGE_GATE
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kx::engine {

void waitAtPageGate() {
#ifdef KX_PAGE_GATE
    const char* gate = std::getenv("KX_PAGE_GATE");
    if (!gate || !*gate)
        return;
    // Opened without waiting for a writer, so that a gate nobody holds open passes at once.
    const int fd = open(gate, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    char token = 0;
    while (read(fd, &token, 1) < 0 && errno == EINTR) {
    }
    close(fd);
#endif
}

} // namespace kx::engine
