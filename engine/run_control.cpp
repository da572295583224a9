#include "engine/run_control.h"

#include "base/file_replace.h"
#include "decoder/client/contained_decoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace kx::engine {

namespace {

constexpr int k_stopSignals[] = {SIGINT, SIGHUP, SIGTERM};

int g_stopPipe[2] = {-1, -1};

void onStopSignal(int) {
    const int error = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_stopPipe[1], &byte, 1);
    errno = error;
}

void setStopAction(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on, so that no thread sees EINTR where it never expected it.
    action.sa_flags = SA_RESTART;
    for (const int signal : k_stopSignals)
        sigaction(signal, &action, nullptr);
}

} // namespace

void prepareConversions() {
    decoder::startDecoderAhead();
}

void finishConversions() {
    decoder::releaseIdleDecoders();
}

int catchStopSignals() {
    if (g_stopPipe[0] < 0 && pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    setStopAction(onStopSignal);
    return g_stopPipe[0];
}

void releaseStopSignals() {
    setStopAction(SIG_DFL);
    for (int& end : g_stopPipe) {
        if (end >= 0)
            close(end);
        end = -1;
    }
}

void endAtOnce() {
    base::abandonFileWrites();
    decoder::endAllDecoders();
    _exit(0);
}

} // namespace kx::engine
