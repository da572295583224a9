#include "core/instance_lock.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace kx::core {
namespace {

TEST(InstanceLockTest, OneHolderAtATimeAndReleasedWithTheHolder) {
    test::TempDir dir;
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    {
        InstanceLock first;
        ASSERT_TRUE(first.acquire("Kestrelix test"));
        InstanceLock second;
        EXPECT_FALSE(second.acquire("Kestrelix test"));
        InstanceLock other;
        EXPECT_TRUE(other.acquire("Another title")) << "locks are per title";
    }
    InstanceLock again;
    EXPECT_TRUE(again.acquire("Kestrelix test"));
}

TEST(InstanceLockTest, DescriptorIsNotInheritedByChildPrograms) {
    test::TempDir dir;
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    InstanceLock lock;
    ASSERT_TRUE(lock.acquire("Kestrelix inherit"));
    // Every descriptor naming the lock file must carry close-on-exec.
    for (int fd = 3; fd < 256; ++fd) {
        char link[64], target[4096];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t length = readlink(link, target, sizeof target - 1);
        if (length <= 0)
            continue;
        target[length] = 0;
        if (std::string(target).find("Kestrelix inherit.lock") != std::string::npos)
            EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
}

TEST(InstanceLockTest, UnusableRuntimeFolderFallsBackToAPrivateFolder) {
    setenv("XDG_RUNTIME_DIR", "/nonexistent/folder", 1);
    InstanceLock first;
    EXPECT_TRUE(first.acquire("Kestrelix fallback"));
    InstanceLock second;
    EXPECT_FALSE(second.acquire("Kestrelix fallback"));
}

} // namespace
} // namespace kx::core
