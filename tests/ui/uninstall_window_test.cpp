#include "settings/string_table.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_display.h"
#include "tests/support/widget_app.h"
#include "ui/shell_targets.h"
#include "ui/uninstall_window.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace kx::ui {
namespace {

class UninstallWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureWidgetApplication();
        settings::loadStringTable();
    }

    test::ScriptedDialogs m_dialogs;
    UninstallWindow m_window;
};

TEST_F(UninstallWindowTest, StartsWithTheBoxTicked) {
    EXPECT_EQ(m_window.windowTitle(), "Uninstall");
    EXPECT_EQ(m_window.size(), QSize(300, 100));
    EXPECT_EQ(m_window.visitBox()->text(), "Full Uninstall - Visit Uninstall Center");
    EXPECT_TRUE(m_window.visitBox()->isChecked());
    EXPECT_EQ(m_window.nextButton()->text(), "Next");
}

TEST_F(UninstallWindowTest, NextWithTheBoxTickedOpensTheUninstallPage) {
    m_window.show();
    QTest::mouseClick(m_window.nextButton(), Qt::LeftButton);
    ASSERT_EQ(m_dialogs.openedUrls.size(), 1u);
    EXPECT_EQ(m_dialogs.openedUrls[0], uninstallPageUrl());
    EXPECT_FALSE(m_window.isVisible());
}

TEST_F(UninstallWindowTest, NextWithTheBoxClearedOpensNothing) {
    m_window.show();
    QTest::mouseClick(m_window.visitBox(), Qt::LeftButton);
    EXPECT_FALSE(m_window.visitBox()->isChecked());
    QTest::mouseClick(m_window.nextButton(), Qt::LeftButton);
    EXPECT_TRUE(m_dialogs.openedUrls.empty());
    EXPECT_FALSE(m_window.isVisible());
}

TEST_F(UninstallWindowTest, ClosingOpensNothing) {
    m_window.show();
    m_window.close();
    EXPECT_TRUE(m_dialogs.openedUrls.empty());
    EXPECT_FALSE(m_window.isVisible());
}

// The real program's -U on a virtual X server: the test clicks the window and a stand-in
// for xdg-open records what the desktop was asked to open.
class UninstallModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_display.running() || m_display.run("command -v xdotool >/dev/null") != 0)
            GTEST_SKIP() << "needs Xvfb and xdotool";
        std::filesystem::create_directory(m_dir.path() / "bin");
        std::filesystem::create_directory(m_dir.path() / "runtime", m_dir.path());
        std::filesystem::permissions(m_dir.path() / "runtime", std::filesystem::perms::owner_all);
        const std::string opener = m_dir.file("bin/xdg-open");
        test::writeFile(opener,
                        "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + m_dir.file("opened") + "'\n");
        std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    }

    // Runs "kestrelix -U", clicks the points of the window given in order, and returns once
    // the program has ended.
    test::ProgramResult runClicking(const std::vector<QPoint>& points) {
        test::ProgramResult result;
        std::atomic<bool> done = false;
        std::thread program([&] {
            result = test::runProgram(test::programPath(), {"-U"},
                                      {{"DISPLAY", m_display.name()},
                                       {"QT_QPA_PLATFORM", "xcb"},
                                       {"XDG_RUNTIME_DIR", m_dir.file("runtime")},
                                       {"PATH", m_dir.file("bin") + ":" + std::getenv("PATH")}});
            done = true;
        });
        const std::string window = m_display.waitForWindow("Uninstall");
        EXPECT_FALSE(window.empty());
        for (const QPoint& point : points) {
            m_display.run("xdotool mousemove --window " + window + " " + std::to_string(point.x()) +
                          " " + std::to_string(point.y()) + " click 1");
        }
        // A click that missed would leave the program waiting: close its window then.
        for (int attempt = 0; attempt < 200 && !done; ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!done) {
            ADD_FAILURE() << "the uninstall page did not end after the clicks";
            m_display.run("xdotool windowclose " + window);
        }
        program.join();
        return result;
    }

    // The addresses handed to xdg-open, once it has written them (it runs detached).
    std::string opened(bool expectSome) const {
        for (int attempt = 0; expectSome && attempt < 100; ++attempt) {
            if (!test::readFile(m_dir.file("opened")).empty())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return test::readFile(m_dir.file("opened"));
    }

    test::TempDir m_dir;
    test::VirtualDisplay m_display;
};

const QPoint k_checkBox(40, 30);
const QPoint k_next(240, 72);

TEST_F(UninstallModeTest, NextWithTheBoxTickedOpensThePageAndEnds) {
    const test::ProgramResult result = runClicking({k_next});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(opened(true), uninstallPageUrl().toString().toStdString() + "\n");
}

TEST_F(UninstallModeTest, NextWithTheBoxClearedEndsWithoutOpening) {
    const test::ProgramResult result = runClicking({k_checkBox, k_next});
    EXPECT_EQ(result.exitStatus, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // a late opener would show
    EXPECT_EQ(opened(false), "");
}
} // namespace
} // namespace kx::ui
