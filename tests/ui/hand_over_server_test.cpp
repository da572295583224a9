#include "core/hand_over.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widget_app.h"
#include "ui/hand_over_server.h"

#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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

} // namespace
} // namespace kx::ui
