#include "tests/support/widget_app.h"
#include "ui/closable_wait.h"

#include <QCloseEvent>
#include <QWindow>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kx::ui {
namespace {

using namespace std::chrono_literals;

class ClosableWaitTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureWidgetApplication(); }

    // Work that runs until it is asked to stop, then says so in `stopped`.
    static std::function<void(std::stop_token)>
    untilStopped(std::shared_ptr<std::atomic<bool>> stopped) {
        return [stopped](std::stop_token stop) {
            while (!stop.stop_requested())
                std::this_thread::sleep_for(5ms);
            *stopped = true;
        };
    }

    static bool eventually(const std::atomic<bool>& flag) {
        for (int i = 0; i < 400 && !flag; ++i)
            std::this_thread::sleep_for(5ms);
        return flag;
    }
};

TEST_F(ClosableWaitTest, ReturnsTheResultAndDropsTypingMeanwhile) {
    QLineEdit field;
    field.show();
    std::atomic<bool> typed = false;
    QTimer::singleShot(0, [&] {
        QTest::keyClicks(&field, "abc");
        typed = true;
    });
    const auto result = resultWhileClosable<int>(&field, [&typed](std::stop_token) {
        eventually(typed);
        return 42;
    });
    EXPECT_EQ(result, 42);
    EXPECT_EQ(field.text(), "");
    QTest::keyClicks(&field, "abc");
    EXPECT_EQ(field.text(), "abc") << "typing reaches the field again";
}

TEST_F(ClosableWaitTest, ClosingTheWindowGivesUpAndStopsTheWork) {
    QWidget window;
    window.show();
    // What the window manager's close box and Alt+F4 deliver.
    QTimer::singleShot(
        50, [&] { QCoreApplication::postEvent(window.windowHandle(), new QCloseEvent); });
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    EXPECT_FALSE(runWhileClosable(&window, untilStopped(stopped)));
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(eventually(*stopped));
}

TEST_F(ClosableWaitTest, LimitGivesUpAndStopsTheWork) {
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    EXPECT_FALSE(runWhileClosable(nullptr, untilStopped(stopped), 100ms));
    EXPECT_TRUE(eventually(*stopped));
}

} // namespace
} // namespace kx::ui
