#include "base/text_format.h"
#include "core/instance_lock.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kx::core {
namespace {

using Outcome = InstanceLock::Outcome;

Outcome take(InstanceLock& lock, const std::string& name) {
    std::string why;
    const Outcome outcome = lock.acquire(name, why);
    EXPECT_EQ(why.empty(), outcome != Outcome::Unavailable) << why;
    return outcome;
}

TEST(InstanceLockTest, OneHolderAtATimeAndReleasedWithTheHolder) {
    test::TempDir dir;
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    {
        InstanceLock first;
        ASSERT_EQ(take(first, "Kestrelix test"), Outcome::Held);
        InstanceLock second;
        EXPECT_EQ(take(second, "Kestrelix test"), Outcome::HeldByAnotherCopy);
        InstanceLock other;
        EXPECT_EQ(take(other, "Another title"), Outcome::Held) << "locks are per title";
    }
    InstanceLock again;
    EXPECT_EQ(take(again, "Kestrelix test"), Outcome::Held);
}

TEST(InstanceLockTest, DescriptorIsNotInheritedByChildPrograms) {
    test::TempDir dir;
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    InstanceLock lock;
    ASSERT_EQ(take(lock, "Kestrelix inherit"), Outcome::Held);
    // Every descriptor naming the lock file must carry close-on-exec.
    for (int fd = 3; fd < 256; ++fd) {
        char link[64], target[4096];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t length = readlink(link, target, sizeof target - 1);
        if (length <= 0)
            continue;
        target[length] = 0;
        if (std::string(target).find("Kestrelix inherit.lock") != std::string::npos) {
            EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
        }
    }
}

TEST(InstanceLockTest, UnusableRuntimeFolderFallsBackToAPrivateFolder) {
    setenv("XDG_RUNTIME_DIR", "/nonexistent/folder", 1);
    InstanceLock first;
    EXPECT_EQ(take(first, "Kestrelix fallback"), Outcome::Held);
    InstanceLock second;
    EXPECT_EQ(take(second, "Kestrelix fallback"), Outcome::HeldByAnotherCopy);
}

// Without a runtime folder the lock lives in "kestrelix-<uid>" below $TMPDIR.
class TemporaryLockFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
            m_savedRuntime = runtime;
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", m_dir.path().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        if (!m_savedRuntime.empty())
            setenv("XDG_RUNTIME_DIR", m_savedRuntime.c_str(), 1);
    }

    std::string sharedFolder() const { return m_dir.file("kestrelix-" + std::to_string(getuid())); }

    size_t entries() const {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
            ++count;
        return count;
    }

    test::TempDir m_dir;
    std::string m_savedRuntime;
};

TEST_F(TemporaryLockFolderTest, SharedFolderIsMadePrivateAndSharedBetweenCopies) {
    EXPECT_EQ(lockFolder(), sharedFolder());
    struct stat facts {};
    ASSERT_EQ(lstat(sharedFolder().c_str(), &facts), 0);
    EXPECT_EQ(facts.st_mode & 07777, 0700u);
    InstanceLock first;
    ASSERT_EQ(take(first, "Kestrelix shared"), Outcome::Held);
    InstanceLock second;
    EXPECT_EQ(take(second, "Kestrelix shared"), Outcome::HeldByAnotherCopy);
}

// A folder below a regular file cannot be made even by root, so no lock file can be had.
TEST_F(TemporaryLockFolderTest, NoFolderForTheLockSaysWhy) {
    const std::string file = m_dir.file("plain");
    std::ofstream(file) << "x";
    setenv("TMPDIR", (file + "/below").c_str(), 1);
    InstanceLock lock;
    std::string why;
    EXPECT_EQ(lock.acquire("Kestrelix nowhere", why), Outcome::Unavailable);
    EXPECT_EQ(why, "cannot make a folder in " + file + "/below: Not a directory");
}

TEST_F(TemporaryLockFolderTest, ProgramRunsWithoutTheLockAndSaysSoOnce) {
    const std::string file = m_dir.file("plain");
    std::ofstream(file) << "x";
    const std::string input = m_dir.file("in.tif");
    ASSERT_TRUE(test::writeTiff(input, {test::greyPage(4, 3, [](int x, int) { return x * 60; })}));
    const std::vector<std::pair<std::string, std::string>> environment = {
        {"XDG_RUNTIME_DIR", ""},
        {"TMPDIR", file + "/below"},
        {"DISPLAY", ""},
        {"WAYLAND_DISPLAY", ""},
        {"QT_QPA_PLATFORM", ""}};
    const std::string said =
        base::titleText() + ": running without the single-instance lock: cannot make a folder in " +
        file + "/below: Not a directory.\n";
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-v"}, {"-h"}, {"-i", input, "-o", m_dir.path().string()}}) {
        const test::ProgramResult result =
            test::runProgram(test::programPath(), arguments, environment);
        EXPECT_FALSE(result.out.empty()) << arguments[0];
        EXPECT_EQ(result.err, said) << arguments[0];
    }
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("in.bmp")));
}

enum class Squat { LinkToAnotherFolder, OpenToEveryone, OwnedByAnotherUser, LockFileIsALink };

class SquattedLockFolderTest : public TemporaryLockFolderTest,
                               public ::testing::WithParamInterface<Squat> {};

TEST_P(SquattedLockFolderTest, IsNotUsedAndTheProgramStillRuns) {
    const std::string elsewhere = m_dir.file("elsewhere");
    std::filesystem::create_directory(elsewhere);
    const std::string shared = sharedFolder();
    int theirLock = -1;
    switch (GetParam()) {
    case Squat::LinkToAnotherFolder:
        std::filesystem::create_directory_symlink(elsewhere, shared);
        break;
    case Squat::OpenToEveryone:
        std::filesystem::create_directory(shared);
        chmod(shared.c_str(), 0777);
        break;
    case Squat::OwnedByAnotherUser:
        if (getuid() != 0)
            GTEST_SKIP() << "only root can give a folder away";
        std::filesystem::create_directory(shared);
        chmod(shared.c_str(), 0700);
        // They hold the lock in their folder, so that this user's conversions never run.
        theirLock = open((shared + "/Kestrelix squat.lock").c_str(), O_RDWR | O_CREAT, 0600);
        ASSERT_EQ(flock(theirLock, LOCK_EX | LOCK_NB), 0);
        ASSERT_EQ(chown(shared.c_str(), 65534, 65534), 0);
        break;
    case Squat::LockFileIsALink:
        std::filesystem::create_directory(shared);
        chmod(shared.c_str(), 0700);
        std::filesystem::create_symlink(elsewhere + "/planted", shared + "/Kestrelix squat.lock");
        break;
    }
    {
        InstanceLock lock;
        EXPECT_EQ(take(lock, "Kestrelix squat"), Outcome::Held);
        EXPECT_TRUE(std::filesystem::is_empty(elsewhere)) << "nothing is made through a link";
    }
    EXPECT_EQ(entries(), 2u) << "a fresh folder made for the lock goes with it";
    if (theirLock >= 0)
        close(theirLock);
}

INSTANTIATE_TEST_SUITE_P(Squats, SquattedLockFolderTest,
                         ::testing::Values(Squat::LinkToAnotherFolder, Squat::OpenToEveryone,
                                           Squat::OwnedByAnotherUser, Squat::LockFileIsALink),
                         [](const auto& info) -> std::string {
                             switch (info.param) {
                             case Squat::LinkToAnotherFolder:
                                 return "LinkToAnotherFolder";
                             case Squat::OpenToEveryone:
                                 return "OpenToEveryone";
                             case Squat::OwnedByAnotherUser:
                                 return "OwnedByAnotherUser";
                             case Squat::LockFileIsALink:
                                 return "LockFileIsALink";
                             }
                             return std::to_string(static_cast<int>(info.param));
                         });

} // namespace
} // namespace kx::core
