#include "base/text_format.h"
#include "settings/configuration.h"
#include "settings/settings_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widget_app.h"
#include "ui/main_window.h"
#include "ui/window_run.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace kx::ui {
namespace {

class WindowRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureWidgetApplication(); }

    settings::SettingsFile written() const {
        return *settings::SettingsFile::open(m_dir.file("config.ini"));
    }

    test::TempDir m_dir;
    engine::JobState m_job;
    engine::JobQueue m_queue;
};

TEST_F(WindowRunTest, WindowCarriesTheTitleAndTheStoredGeometry) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    s.x = 40;
    s.y = 30;
    s.width = 600;
    s.height = 260;
    MainWindow window(base::titleText(), s, m_job, m_queue);
    window.restoreGeometryFromSettings();
    EXPECT_EQ(window.windowTitle().toStdString(), base::titleText());
    EXPECT_EQ(window.width(), 600);
    EXPECT_EQ(window.height(), 260);
}

TEST_F(WindowRunTest, ClosingStoresTheGeometryAndWritesTheConfiguration) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    s.recentOutFolders = "/a\t/b";
    MainWindow window("title", s, m_job, m_queue);
    window.show();
    window.resize(640, 260);
    window.close();
    finishWindowRun(window, s, m_dir.file("config.ini"));

    const settings::SettingsFile file = written();
    EXPECT_EQ(file.readInteger("Window", "Width", 0), 640);
    EXPECT_EQ(file.readInteger("Window", "Height", 0), 260);
    EXPECT_EQ(file.readInteger("Window", "IsMaximized", 9), 0);
    EXPECT_EQ(file.readText("File", "Recent Out Folders", ""), "/a\t/b");
}

TEST_F(WindowRunTest, HistoryOffEmptiesTheRecentFolders) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    s.outFoldersHistory = 0;
    s.recentOutFolders = "/a\t/b";
    MainWindow window("title", s, m_job, m_queue);
    finishWindowRun(window, s, m_dir.file("config.ini"));
    EXPECT_EQ(written().readText("File", "Recent Out Folders", "x"), "");
}

TEST_F(WindowRunTest, MaximisedOrMinimisedWindowKeepsTheStoredGeometry) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    s.width = 510;
    s.height = 260;
    MainWindow window("title", s, m_job, m_queue);
    window.resize(700, 500);
    window.setWindowState(Qt::WindowMaximized);
    window.storeGeometryInSettings();
    EXPECT_EQ(s.isMaximized, 1);
    EXPECT_EQ(s.width, 510);

    s.isMaximized = 0;
    window.setWindowState(Qt::WindowMinimized);
    window.storeGeometryInSettings();
    EXPECT_EQ(s.isMaximized, 0);
    EXPECT_EQ(s.width, 510);
}

} // namespace
} // namespace kx::ui
