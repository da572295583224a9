#include "core/hand_over.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widget_app.h"
#include "ui/hand_over_server.h"

#include <QTest>
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

namespace kx::ui {
namespace {

TEST(HandOverServer, ALaterStartHandsItsFileToTheListeningCopy) {
    test::ensureWidgetApplication();
    test::TempDir dir;
    const std::string socket = dir.file("Kestrelix.socket");
    test::writeFile(socket, "left by a copy that crashed");
    std::vector<std::string> received;
    {
        HandOverServer server(socket, [&](const std::string& file) { received.push_back(file); });
        ASSERT_TRUE(server.listening());
        EXPECT_TRUE(core::handOver(socket, ""));
        EXPECT_TRUE(core::handOver(socket, "scans/a b.tif"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 2; }, 60'000));
    }
    const std::string absolute = (std::filesystem::current_path() / "scans/a b.tif").string();
    std::sort(received.begin(), received.end());
    EXPECT_EQ(received, (std::vector<std::string>{"", absolute}));
    EXPECT_FALSE(std::filesystem::exists(socket)); // the server removes its socket
    EXPECT_FALSE(core::handOver(socket, "a.tif")); // nobody listens any more
    EXPECT_FALSE(HandOverServer("", {}).listening());
}

// Runs `work` in a child process as user nobody; its exit status, or -1.
int asNobody(const std::function<int()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        constexpr uid_t k_nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(k_nobody) != 0 || setuid(k_nobody) != 0)
            _exit(99);
        _exit(work());
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)
               ? WEXITSTATUS(status)
               : -1;
}

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

// A hand-over socket another user could reach (a runtime folder that is not one's own): no
// path is sent to a listener of another user's, and none from one is taken.
TEST(HandOverServer, NeitherEndTrustsAnotherUser) {
    if (getuid() != 0)
        GTEST_SKIP() << "needs root, to act as another user";
    test::ensureWidgetApplication();
    test::TempDir dir;
    const std::string shared = dir.file("shared");
    std::filesystem::create_directory(shared);
    chmod(dir.path().c_str(), 0755);
    chmod(shared.c_str(), 0777);

    // Another user listens: the path is not sent.
    const std::string theirs = shared + "/theirs.socket";
    const pid_t listener = fork();
    if (listener == 0) {
        _exit(asNobody([&] {
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            const sockaddr_un address = addressOf(theirs);
            if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
                chmod(theirs.c_str(), 0777) != 0 || listen(fd, 1) != 0)
                return 2;
            const int client = accept(fd, nullptr, nullptr);
            char byte = 0;
            return read(client, &byte, 1) > 0 ? 1 : 0; // 1: a path reached the other user
        }));
    }
    while (!std::filesystem::exists(theirs) && waitpid(listener, nullptr, WNOHANG) == 0)
        usleep(1000);
    EXPECT_FALSE(core::handOver(theirs, "/root/secret-report.tif"));
    int status = -1;
    waitpid(listener, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // Another user sends: nothing is received.
    const std::string ours = shared + "/ours.socket";
    std::vector<std::string> received;
    HandOverServer server(ours, [&](const std::string& file) { received.push_back(file); });
    ASSERT_TRUE(server.listening());
    chmod(ours.c_str(), 0777);
    // Sent as a crafted client would, without asking who listens.
    EXPECT_EQ(asNobody([&] {
                  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
                  const sockaddr_un address = addressOf(ours);
                  const char planted[] = "/tmp/planted.tif";
                  return connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
                                     0 &&
                                 write(fd, planted, sizeof planted) ==
                                     static_cast<ssize_t>(sizeof planted)
                             ? 0
                             : 3;
              }),
              0);
    // Connections are taken in order: once the later one of this user's arrived, the other
    // user's was dealt with.
    EXPECT_TRUE(core::handOver(ours, "/tmp/own.tif"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !received.empty(); }, 60'000));
    EXPECT_EQ(received, std::vector<std::string>{"/tmp/own.tif"});
}

} // namespace
} // namespace kx::ui
