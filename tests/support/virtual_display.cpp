#include "tests/support/virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace kx::test {

VirtualDisplay::VirtualDisplay() {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    if (pipeFds[1] == 3) { // dup2 onto itself would keep close-on-exec
        const int moved = fcntl(pipeFds[1], F_DUPFD_CLOEXEC, 10);
        close(pipeFds[1]);
        pipeFds[1] = moved;
    }
    // Xvfb picks a free display and writes its number to the descriptor given.
    const std::string fd = "3";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("Xvfb"),
                    const_cast<char*>("-displayfd"),
                    const_cast<char*>(fd.c_str()),
                    const_cast<char*>("-nolisten"),
                    const_cast<char*>("tcp"),
                    const_cast<char*>("-screen"),
                    const_cast<char*>("0"),
                    const_cast<char*>("1024x768x24"),
                    nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return;
    }
    m_pid = pid;
    std::string number;
    pollfd entry{pipeFds[0], POLLIN, 0};
    while (poll(&entry, 1, 10000) > 0) {
        char c = 0;
        if (read(pipeFds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(pipeFds[0]);
    if (!number.empty())
        m_name = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

int VirtualDisplay::run(const std::string& command) const {
    const std::string full = "DISPLAY=" + m_name + " " + command;
    const int status = std::system(full.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string VirtualDisplay::waitForWindow(const std::string& title) const {
    const std::string command =
        "DISPLAY=" + m_name + " xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null";
    for (int attempt = 0; attempt < 150; ++attempt) {
        if (FILE* pipe = popen(command.c_str(), "r")) {
            std::array<char, 64> line{};
            const bool found = fgets(line.data(), line.size(), pipe) != nullptr;
            pclose(pipe);
            if (found) {
                std::string id = line.data();
                while (!id.empty() && (id.back() == '\n' || id.back() == '\r'))
                    id.pop_back();
                if (!id.empty())
                    return id;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

} // namespace kx::test
