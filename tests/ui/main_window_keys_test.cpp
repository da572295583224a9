#include "base/text_format.h"
#include "engine/job_state.h"
#include "settings/settings.h"
#include "settings/string_table.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"
#include "tests/support/widget_app.h"
#include "ui/main_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

namespace kx::ui {
namespace {

namespace fs = std::filesystem;

// The window as the keyboard and the input field reach it.
class MainWindowKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_tiff = m_dir.file("in.tif");
        ASSERT_TRUE(test::writeTiff(m_tiff, {test::rgbPage(8, 6, test::patternColour)}));
        settings::applyDefaults(m_settings, false);
        engine::resetJobState(m_job, m_queue);
        m_window = std::make_unique<MainWindow>(base::titleText(), m_settings, m_job, m_queue);
        m_window->finishStartUp(true);
        m_window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }

    static void SetUpTestSuite() {
        test::ensureWidgetApplication();
        settings::loadStringTable();
    }

    void type(const std::string& text) {
        m_window->inputField()->setFocus();
        QTest::keyClicks(m_window->inputField(), QString::fromStdString(text));
    }

    // Presses OK in the progress window once its run has ended.
    void pressOkWhenDone() {
        QObject::connect(&m_ticker, &QTimer::timeout, [] {
            QWidget* progress = QApplication::activeModalWidget();
            QPushButton* ok = progress ? progress->findChild<QPushButton*>() : nullptr;
            if (ok && ok->isEnabled())
                ok->click();
        });
        m_ticker.start(10);
    }

    test::TempDir m_dir;
    std::string m_tiff;
    test::ScriptedDialogs m_dialogs;
    QTimer m_ticker;
    settings::Settings m_settings;
    engine::JobState m_job;
    engine::JobQueue m_queue;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(MainWindowKeysTest, MenusHaveMnemonicsAndShortcutsReachTheirCommands) {
    QStringList titles;
    for (QAction* menu : m_window->menuBar()->actions())
        titles << menu->text();
    EXPECT_EQ(titles.join("|").toStdString(), "&File|&Converter|&Help");

    m_dialogs.filesAnswers = {{QString::fromStdString(m_tiff)}};
    QTest::keyClick(m_window.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(m_dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(m_window->inputField()->text().toStdString(), m_tiff);

    QTest::keyClick(m_window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(m_window->isVisible());
}

TEST_F(MainWindowKeysTest, EnterInTheInputFieldConvertsAndTheFocusComesBack) {
    type(m_tiff);
    pressOkWhenDone();
    QTest::keyClick(m_window->inputField(), Qt::Key_Return);
    EXPECT_TRUE(fs::exists(m_dir.file("in.bmp")));
    EXPECT_EQ(m_window->statusText(), "Conversion complete");
    EXPECT_EQ(m_window->focusWidget(), m_window->inputField());
}

TEST_F(MainWindowKeysTest, ATypedPathFillsAnEmptyFolderBoxLikeAChosenOne) {
    type(m_tiff);
    QTest::keyClick(m_window->inputField(), Qt::Key_Tab);
    EXPECT_EQ(m_window->outputFolderBox()->currentText().toStdString(), m_dir.folder());

    // A path that is no acceptable file is left for Convert to refuse.
    m_window->runCommand(k_commandNew);
    type(m_dir.file("missing.tif"));
    QTest::keyClick(m_window->inputField(), Qt::Key_Tab);
    EXPECT_TRUE(m_window->outputFolderBox()->currentText().isEmpty());
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(MainWindowKeysTest, TheFileDialogStartsInTheFolderOfTheLastInputFile) {
    const std::string other = m_dir.file("sub/b.tif");
    fs::create_directories(m_dir.file("sub"));
    ASSERT_TRUE(test::writeTiff(other, {test::rgbPage(8, 6, test::patternColour)}));
    m_dialogs.filesAnswers = {{QString::fromStdString(other)}};
    m_window->runCommand(k_commandSelectInputFile);
    m_window->runCommand(k_commandNew);
    m_window->runCommand(k_commandSelectInputFile);
    type(m_tiff);
    m_window->runCommand(k_commandSelectInputFile);
    ASSERT_EQ(m_dialogs.fileRequests.size(), 3u);
    EXPECT_EQ(m_dialogs.fileRequests[0][1].toStdString(), "");
    EXPECT_EQ(m_dialogs.fileRequests[1][1].toStdString(), m_dir.file("sub/"));
    EXPECT_EQ(m_dialogs.fileRequests[2][1].toStdString(), m_dir.folder());
}

TEST_F(MainWindowKeysTest, TheStatusBarShowsTheCurrentState) {
    // A refused run is stopped, whichever warning refused it.
    m_settings.doWatermark = 1;
    m_settings.font = "NoSuchFont123";
    m_window->inputField()->setText(QString::fromStdString(m_tiff));
    m_window->outputFolderBox()->addItem(QString::fromStdString(m_dir.folder()));
    m_window->runCommand(k_commandConvert);
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_window->statusText(), "Conversion stopped");

    m_dialogs.folderAnswers = {QString::fromStdString(m_dir.path().string())};
    m_window->runCommand(k_commandSelectOutputFolder);
    EXPECT_EQ(m_window->statusText(), "Ready");
}

TEST_F(MainWindowKeysTest, AHandedOverFileComesUpInTheInputField) {
    m_window->showMinimized();
    m_window->takeHandOver(m_tiff);
    EXPECT_FALSE(m_window->isMinimized());
    EXPECT_EQ(m_window->inputField()->text().toStdString(), m_tiff);
    EXPECT_EQ(m_window->outputFolderBox()->currentText().toStdString(), m_dir.folder());
}

} // namespace
} // namespace kx::ui
