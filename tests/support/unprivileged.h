#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>

namespace kx::test {

// A user whom file permissions hold back: this process's own user when it is not root, else
// `nobody`, so that tests of refused writes also run where the suite runs as root.
struct UnprivilegedUser {
    uid_t uid = 0;
    gid_t gid = 0;
};

// The user above; nullopt when the process is root and the system has no `nobody`.
std::optional<UnprivilegedUser> unprivilegedUser();

// Runs `work` in a child process as `user` (without supplementary groups) and returns what it
// returned, 0 to 255. nullopt when the child could not be made, could not become `user`, or did
// not return from `work`. The child ends with _exit, so nothing of this process is cleaned up
// twice; `work` reports through its result only, as gtest's assertions stay in the child.
std::optional<int> runAs(const UnprivilegedUser& user, const std::function<int()>& work);

} // namespace kx::test
