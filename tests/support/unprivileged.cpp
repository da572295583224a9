#include "tests/support/unprivileged.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace kx::test {

std::optional<UnprivilegedUser> unprivilegedUser() {
    if (geteuid() != 0)
        return UnprivilegedUser{geteuid(), getegid()};
    // Looked up here, before any fork: the lookup is not safe in the child of a process with
    // threads.
    const passwd* nobody = getpwnam("nobody");
    if (!nobody || nobody->pw_uid == 0)
        return std::nullopt;
    return UnprivilegedUser{nobody->pw_uid, nobody->pw_gid};
}

std::optional<int> runAs(const UnprivilegedUser& user, const std::function<int()>& work) {
    // The child says through this pipe that it became `user`, so that a child that could not
    // is told apart from work that returned any status.
    int became[2];
    if (pipe2(became, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child < 0) {
        close(became[0]);
        close(became[1]);
        return std::nullopt;
    }
    if (child == 0) {
        close(became[0]);
        if (geteuid() != user.uid || getegid() != user.gid) {
            if (setgroups(0, nullptr) != 0 || setgid(user.gid) != 0 || setuid(user.uid) != 0)
                _exit(1);
        }
        // Root's rights must be gone for good, not only set aside.
        if (geteuid() != user.uid || (user.uid != 0 && setuid(0) == 0))
            _exit(1);
        const char yes = 1;
        if (write(became[1], &yes, 1) != 1)
            _exit(1);
        close(became[1]);
        _exit(work() & 0xFF);
    }
    close(became[1]);
    char yes = 0;
    ssize_t got;
    do
        got = read(became[0], &yes, 1);
    while (got < 0 && errno == EINTR);
    close(became[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (got != 1 || !WIFEXITED(status))
        return std::nullopt;
    return WEXITSTATUS(status);
}

} // namespace kx::test
