#include "core/console.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace kx::core {

void TerminalConsole::printLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void TerminalConsole::setTitle(std::string_view title) {
    if (!isatty(STDOUT_FILENO))
        return;
    std::printf("\033]0;%.*s\007", static_cast<int>(title.size()), title.data());
    std::fflush(stdout);
}

bool TerminalConsole::showsProgress() const {
    return isatty(STDERR_FILENO) != 0;
}

void TerminalConsole::showProgress(std::string_view line) {
    // Back to the start of the line, the new text, then the rest of the old one erased.
    std::fprintf(stderr, "\r%.*s\033[K", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
}

void TerminalConsole::waitForKey() {
    if (!isatty(STDIN_FILENO))
        return;
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0)
        return;
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char key = 0;
    [[maybe_unused]] const ssize_t got = read(STDIN_FILENO, &key, 1);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

} // namespace kx::core
