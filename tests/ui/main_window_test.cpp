#include "base/text_format.h"
#include "engine/job_state.h"
#include "settings/settings.h"
#include "settings/string_table.h"
#include "tests/support/image_compare.h"
#include "tests/support/page_gate.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"
#include "tests/support/widget_app.h"
#include "ui/main_window.h"
#include "ui/pictures.h"
#include "ui/progress_window.h"
#include "ui/themes.h"
#include "ui/window_run.h"

#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

namespace kx::ui {
namespace {

namespace fs = std::filesystem;

// What the progress window showed when its run ended.
struct RunOutcome {
    bool opened = false;
    QString title;
    QString file;
    QString problem;
    QStringList titles;    // every title shown while the worker ran
    std::vector<int> bars; // every bar position shown while it ran
    int bar = -1;
    int barMaximum = -1;
    int barTop = -1;
    bool timeShown = true;
};

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureWidgetApplication();
        settings::loadStringTable();
    }

    void SetUp() override {
        settings::applyDefaults(m_settings, false);
        m_settings.outFoldersNumber = 3;
        engine::resetJobState(m_job, m_queue);
        m_window = std::make_unique<MainWindow>(base::titleText(), m_settings, m_job, m_queue);
        m_window->resize(510, 260);
        m_window->finishStartUp(true);
        m_window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }

    std::string sampleTiff(const std::string& name, int pages = 1, int side = 24) {
        std::vector<test::TiffPage> list(pages,
                                         test::rgbPage(side, side * 2 / 3, test::patternColour));
        const std::string path = m_dir.file(name);
        EXPECT_TRUE(test::writeTiff(path, list));
        return path;
    }

    std::string outputFolder() {
        const std::string folder = m_dir.file("out");
        fs::create_directories(folder);
        return folder;
    }

    // The names of the files in `folder`, sorted.
    static std::vector<std::string> filesIn(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs `start`, which opens the progress window, and watches the window on every tick of
    // a 10 ms timer; `onTick` may act on it while the worker runs. Presses OK at the end. A run
    // held at `gate` that a minute brings no further is let through, so that a window that
    // stopped following its run fails the test instead of hanging it.
    RunOutcome watchRun(const std::function<void()>& start,
                        const std::function<void(ProgressWindow&)>& onTick = {},
                        test::PageGate* gate = nullptr) {
        RunOutcome outcome;
        QTimer stuck;
        stuck.setSingleShot(true);
        stuck.setInterval(60'000);
        if (gate) {
            QObject::connect(&stuck, &QTimer::timeout, [gate] { gate->openWide(); });
            stuck.start();
        }
        QTimer ticker;
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            auto* progress = dynamic_cast<ProgressWindow*>(QApplication::activeModalWidget());
            if (!progress)
                return;
            outcome.opened = true;
            if (!progress->workerEnded()) {
                if (outcome.titles.empty() || outcome.titles.back() != progress->windowTitle()) {
                    outcome.titles << progress->windowTitle();
                    if (stuck.isActive())
                        stuck.start();
                }
                if (outcome.bars.empty() || outcome.bars.back() != progress->barValue())
                    outcome.bars.push_back(progress->barValue());
                if (onTick)
                    onTick(*progress);
                return;
            }
            outcome.title = progress->windowTitle();
            outcome.file = progress->fileText();
            outcome.problem = progress->problemText();
            outcome.bar = progress->barValue();
            outcome.barMaximum = progress->barMaximum();
            outcome.barTop = progress->barTop();
            outcome.timeShown = progress->timeShown();
            if (QPushButton* ok = progress->findChild<QPushButton*>(); ok && ok->isEnabled())
                ok->click();
        });
        ticker.start();
        start();
        return outcome;
    }

    // Drags `data` onto the window and drops it there, as a file manager would.
    void dropOn(QMimeData& data) {
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &enter);
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &drop);
    }

    test::TempDir m_dir;
    test::ScriptedDialogs m_dialogs;
    settings::Settings m_settings;
    engine::JobState m_job;
    engine::JobQueue m_queue;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(MainWindowTest, ResizeRulePlacesTheButtonsAtTheMinimumAndWiderWidths) {
    for (const int width : {510, 800}) {
        m_window->resize(width, 260);
        QApplication::processEvents();
        ASSERT_EQ(m_window->width(), width);
        EXPECT_EQ(m_window->inputField()->width(), width - 160);
        EXPECT_EQ(m_window->outputFormatBox()->width(), width - 160);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(m_window->fieldButton(i)->geometry(),
                      QRect(width - 146, 19 + 40 * i, 24, 24));
        }
        EXPECT_EQ(m_window->convertButton()->geometry(), QRect(width - 110, 20, 100, 100));
    }
    EXPECT_EQ(m_window->fieldButton(0)->x(), 364 + 290);
    m_window->resize(300, 500);
    EXPECT_EQ(m_window->size(), QSize(510, 260)); // grows in width only
}

TEST_F(MainWindowTest, MenusCarryTheirCaptionsAndShortcutNames) {
    QStringList captions;
    for (QAction* menu : m_window->menuBar()->actions()) {
        captions << menu->text();
        for (QAction* item : menu->menu()->actions())
            captions << (item->isSeparator() ? "-" : item->text());
    }
    EXPECT_EQ(captions.join("|").toStdString(),
              "&File|&New\tCtrl+N|-|&Add Input File...\tCtrl+O|&Select Output Folder...|-|"
              "&Exit\tAlt+X|&Converter|&Convert\tF5|-|&Find a File Converter...|-|"
              "&Preferences...|&Help|&User Manual...\tF1|-|&Send Feedback|"
              "&Visit the Program's Homepage|&Check For a New Version|-|&About...");
    QStringList tips;
    for (QAction* button : m_window->mainToolbar()->actions())
        tips << (button->isSeparator() ? "-" : button->toolTip());
    EXPECT_EQ(tips.join("|").toStdString(),
              "New|Add Input File...|Select Output Folder...|-|Preferences...|-|Convert|-|"
              "User Manual...|Send Feedback|Visit the Program's Homepage|Check For a New Version");
    EXPECT_EQ(m_window->outputFormatBox()->currentText().toStdString(),
              "BMP (Windows or OS/2 Bitmap)");
    EXPECT_TRUE(m_window->inputField()->hasFocus() || !QApplication::focusWidget());
    EXPECT_EQ(m_window->statusText(), "Ready");
}

TEST_F(MainWindowTest, ToolbarIconsFollowTheUiSize) {
    const int initial = toolbarIconPixels(m_settings.uiSize);
    EXPECT_EQ(m_window->mainToolbar()->iconSize(), QSize(initial, initial));
    const std::pair<int, int> steps[] = {{4, 64}, {9, 64}, {1, 24}, {-1, 24}};
    for (const auto& [uiSize, pixels] : steps) {
        m_settings.uiSize = uiSize;
        m_window->rebuildAfterPreferences(Rebuild::IconsOnly);
        EXPECT_EQ(m_window->mainToolbar()->iconSize(), QSize(pixels, pixels)) << uiSize;
    }
    m_settings.uiSize = 4;
    m_window->rebuildAfterPreferences(Rebuild::Full);
    EXPECT_GE(m_window->height(), 260);
    EXPECT_LE(m_window->convertButton()->geometry().bottom(), m_window->container()->height());
    // At its narrowest the window shows every toolbar button, not an overflow arrow.
    m_window->resize(m_window->minimumWidth(), m_window->height());
    QApplication::processEvents();
    QAction* last = m_window->mainToolbar()->actions().back();
    EXPECT_TRUE(m_window->mainToolbar()->widgetForAction(last)->isVisible());
}

TEST_F(MainWindowTest, SetInputFileChecksSizeAndExtensionAndFillsAnEmptyFolderBox) {
    const std::string upper = sampleTiff("SCAN.TIF");
    const std::string empty = m_dir.file("empty.tif");
    test::writeFile(empty, "");
    const std::string other = m_dir.file("notes.txt");
    test::writeFile(other, "text");

    EXPECT_TRUE(m_window->setInputFile(upper));
    EXPECT_EQ(m_window->inputField()->text().toStdString(), upper);
    EXPECT_EQ(m_window->outputFolderBox()->currentText().toStdString(), m_dir.folder());
    EXPECT_EQ(m_settings.recentOutFolders, m_dir.folder());

    for (const std::string& refused : {empty, other}) {
        EXPECT_FALSE(m_window->setInputFile(refused)) << refused;
        EXPECT_EQ(m_window->inputField()->text().toStdString(), upper);
    }
}

TEST_F(MainWindowTest, DropsQueueEveryFileOnceUntilNew) {
    const std::string named = sampleTiff("my scan #1.tif");
    const std::string second = sampleTiff("second.tif");
    QMimeData files;
    files.setData("text/uri-list", QByteArray("file://") +
                                       QUrl::toPercentEncoding(QString::fromStdString(named), "/") +
                                       "\r\nfile://" + QByteArray::fromStdString(second) + "\r\n");
    dropOn(files);
    QMimeData again;
    again.setUrls({QUrl::fromLocalFile(QString::fromStdString(second))});
    dropOn(again);
    EXPECT_EQ(m_queue.size(), 2u);
    EXPECT_EQ(m_window->inputField()->text().toStdString(),
              "2 files queued: my scan #1.tif, second.tif");
    EXPECT_EQ(m_window->outputFolderBox()->currentText().toStdString(), m_dir.folder());

    m_window->runCommand(k_commandNew);
    EXPECT_TRUE(m_queue.empty());
    QMimeData words;
    words.setText("just words");
    dropOn(words);
    EXPECT_TRUE(m_window->inputField()->text().isEmpty());
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(MainWindowTest, DroppedFolderQueuesItsFilesWithSubfoldersAndConvertsIntoItself) {
    fs::create_directories(m_dir.file("scans/sub"));
    fs::create_directories(m_dir.file("empty"));
    const std::string top = sampleTiff("scans/top.tif");
    const std::string below = sampleTiff("scans/sub/below.tif");
    test::writeFile(m_dir.file("scans/notes.txt"), "text");
    QMimeData folders;
    folders.setUrls({QUrl::fromLocalFile(QString::fromStdString(m_dir.file("scans"))),
                     QUrl::fromLocalFile(QString::fromStdString(m_dir.file("empty")))});
    dropOn(folders);
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text.toStdString(),
              "Unable to open the file: " + m_dir.file("empty") +
                  "!\r\nThere is no TIFF file in it.");
    ASSERT_EQ(m_queue.size(), 2u);
    EXPECT_EQ(m_queue[1].subfolder, "sub/");
    EXPECT_EQ(m_window->outputFolderBox()->currentText().toStdString(), m_dir.file("scans/"));

    m_settings.keepSubfolders = 1;
    const RunOutcome outcome = watchRun([&] { m_window->runCommand(k_commandConvert); });
    EXPECT_EQ(outcome.title.toStdString(), "Conversion complete (2/2)");
    for (const std::string& input : {top, below}) {
        const auto tiff = test::loadImage(input);
        const auto bmp = test::loadImage(input.substr(0, input.size() - 3) + "bmp");
        ASSERT_TRUE(tiff && bmp) << input;
        EXPECT_TRUE(test::imagesMatch(bmp.get(), tiff.get()));
    }

    // A folder typed into the field is read when Convert is pressed.
    m_window->inputField()->setText(QString::fromStdString(m_dir.file("scans/sub")));
    EXPECT_EQ(watchRun([&] { m_window->runCommand(k_commandConvert); }).title.toStdString(),
              "Conversion complete (1/1)");
}

TEST_F(MainWindowTest, ChoosingFilesAndFoldersGoesThroughTheDialogs) {
    const std::string tiff = sampleTiff("a.tif");
    const QString notes = QString::fromStdString(m_dir.file("notes.txt"));
    test::writeFile(notes.toStdString(), "text");
    m_dialogs.filesAnswers = {{notes}, {QString::fromStdString(tiff)}};
    m_window->runCommand(k_commandSelectInputFile);
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text.toStdString(),
              "Unable to open the file: " + notes.toStdString() +
                  "!\r\nIts name does not end in a TIFF extension.");
    m_window->runCommand(k_commandSelectInputFile);
    EXPECT_EQ(m_window->inputField()->text().toStdString(), tiff);
    EXPECT_EQ(m_dialogs.fileRequests[0][0].toStdString(), "Select Input Files");

    // Several files at once join the queue, each once; a refused one is named with its reason.
    m_dialogs.filesAnswers = {
        {QString::fromStdString(sampleTiff("b.tif")), notes, QString::fromStdString(tiff)}};
    m_window->runCommand(k_commandSelectInputFile);
    EXPECT_EQ(m_window->inputField()->text().toStdString(), "2 files queued: a.tif, b.tif");
    EXPECT_EQ(m_queue.size(), 2u);
    EXPECT_EQ(m_dialogs.messages.size(), 2u);

    const std::string out = outputFolder();
    m_dialogs.folderAnswers = {QString::fromStdString(m_dir.file("missing")),
                               QString::fromStdString(out)};
    m_window->runCommand(k_commandSelectOutputFolder);
    EXPECT_EQ(m_settings.recentOutFolders, m_dir.folder());
    m_window->runCommand(k_commandSelectOutputFolder);
    EXPECT_EQ(m_settings.recentOutFolders, out + "\t" + m_dir.folder());
    // Shown as every output folder is used, ending with its separator.
    EXPECT_EQ(m_window->outputFolderBox()->currentText().toStdString(), out + "/");
    EXPECT_EQ(m_dialogs.folderRequests[1][0].toStdString(), "Select Output Folder");
}

TEST_F(MainWindowTest, ValidationWarnsInOrderWithTheStatusText) {
    const std::string tiff = sampleTiff("a.tif");
    const std::string zeroBytes = m_dir.file("zero.png");
    test::writeFile(zeroBytes, "");
    struct Case {
        std::string input;
        std::string folder;
        std::function<void(settings::Settings&)> change;
        std::string warning;
        std::string status;
    };
    const std::string stopped = "Conversion stopped";
    const auto correcting = [](int32_t brightness, int32_t contrast, float gamma) {
        return [=](settings::Settings& s) {
            s.doImageColorCorrection = 1;
            s.imageBrightness = brightness;
            s.imageContrast = contrast;
            s.imageGamma = gamma;
        };
    };
    const std::vector<Case> cases = {
        {"",
         m_dir.folder(),
         {},
         "No input file(s) found. Please, add valid file(s) and try again!",
         stopped},
        {tiff,
         "",
         {},
         "The output folder's field is empty. Please, select existed output folder and try "
         "again!",
         stopped},
        {tiff,
         m_dir.file("nowhere"),
         {},
         "The following output folder is invalid or doesn't exist:\r\n" + m_dir.file("nowhere") +
             "/\r\n\r\nPlease, correct the output path and try again!",
         stopped},
        {tiff, m_dir.folder(),
         [](settings::Settings& s) {
             s.doImageResize = 1;
             s.imageWidth = 0;
             s.imageHeight = 0;
         },
         "Invalid resize width value!", stopped},
        {tiff, m_dir.folder(),
         [](settings::Settings& s) {
             s.doImageResize = 1;
             s.imageWidth = 10;
             s.imageHeight = 0;
         },
         "Invalid resize height value!", stopped},
        {tiff, m_dir.folder(), [](settings::Settings& s) { s.bmpBpp = 2; },
         "Invalid BMP bits per pixel value!", stopped},
        {tiff, m_dir.folder(), correcting(101, 0, 1.0f), "Invalid brightness value!", stopped},
        {tiff, m_dir.folder(), correcting(0, -101, 1.0f), "Invalid contrast value!", stopped},
        {tiff, m_dir.folder(), correcting(0, 0, 10.0f), "Invalid gamma value!", stopped},
        {tiff, m_dir.folder(),
         [](settings::Settings& s) {
             s.doWatermark = 1;
             s.font = "NoSuchFont123";
         },
         "Unable to load selected font for a watermark: NoSuchFont123", stopped},
        {tiff, m_dir.folder(),
         [](settings::Settings& s) {
             s.doWatermark = 2;
             s.image = "";
         },
         "Selected watermark image is invalid/empty!", stopped},
        {tiff, m_dir.folder(),
         [&](settings::Settings& s) {
             s.doWatermark = 2;
             s.image = zeroBytes;
         },
         "Unable to load selected file as a watermark image: " + zeroBytes, stopped},
    };
    for (const Case& c : cases) {
        settings::Settings saved = m_settings;
        if (c.change)
            c.change(m_settings);
        m_dialogs.messages.clear();
        m_window->inputField()->setText(QString::fromStdString(c.input));
        m_window->outputFolderBox()->clear();
        m_window->outputFolderBox()->addItem(QString::fromStdString(c.folder));
        m_window->runCommand(k_commandConvert);
        ASSERT_EQ(m_dialogs.messages.size(), 1u) << c.warning;
        EXPECT_EQ(m_dialogs.messages[0].title.toStdString(), "Warning");
        EXPECT_EQ(m_dialogs.messages[0].text.toStdString(), c.warning);
        EXPECT_EQ(m_window->statusText(), c.status) << c.warning;
        m_settings = saved;
    }
    EXPECT_TRUE(fs::is_empty(outputFolder()));
}

TEST_F(MainWindowTest, ConvertRunsTheProgressWindowAndWritesWhatTheConsoleWrites) {
    const std::string tiff = sampleTiff("scan.tif", 2);
    const std::string out = outputFolder();
    m_window->inputField()->setText(QString::fromStdString(tiff));
    m_dialogs.folderAnswers = {QString::fromStdString(out)};
    m_window->runCommand(k_commandSelectOutputFolder);

    const RunOutcome outcome = watchRun([&] { QTest::keyClick(m_window.get(), Qt::Key_F5); });
    ASSERT_TRUE(outcome.opened);
    EXPECT_EQ(outcome.title.toStdString(), "Conversion complete (1/1)");
    EXPECT_EQ(outcome.file.toStdString(), "Files converted: 1 of 1");
    EXPECT_EQ(outcome.bar, outcome.barMaximum);
    EXPECT_FALSE(outcome.timeShown);
    EXPECT_EQ(outcome.barTop, 50);
    EXPECT_EQ(m_window->statusText(), "Conversion complete");
    EXPECT_EQ(m_settings.recentOutFolders.substr(0, out.size()), out);

    const std::string console = m_dir.file("console");
    fs::create_directories(console);
    test::runProgram(test::programPath(), {"-i", tiff, "-o", console, "-q"},
                     {{"XDG_RUNTIME_DIR", m_dir.path().string()}});
    for (const char* name : {"scan[1].bmp", "scan[2].bmp"}) {
        const auto windowBmp = test::loadImage(out + "/" + name);
        const auto consoleBmp = test::loadImage(console + "/" + name);
        ASSERT_TRUE(windowBmp && consoleBmp) << name;
        EXPECT_TRUE(test::imagesMatch(windowBmp.get(), consoleBmp.get()));
    }
}

TEST_F(MainWindowTest, SequenceNumberCountsRunsUntilNew) {
    const std::string tiff = sampleTiff("seq.tif");
    const std::string out = outputFolder();
    m_settings.filenameMask = "%filename%_%n%.%ext%";
    auto convert = [&] {
        m_window->inputField()->setText(QString::fromStdString(tiff));
        m_window->outputFolderBox()->clear();
        m_window->outputFolderBox()->addItem(QString::fromStdString(out));
        watchRun([&] { m_window->runCommand(k_commandConvert); });
    };
    convert();
    convert();
    m_window->runCommand(k_commandNew);
    fs::remove(out + "/seq_00001.bmp");
    convert();
    for (const char* name : {"seq_00001.bmp", "seq_00002.bmp"})
        EXPECT_TRUE(fs::exists(out + "/" + name)) << name;
    EXPECT_FALSE(fs::exists(out + "/seq_00003.bmp"));
}

// The page shown in a title such as "Converting (3/8)"; 0 for any other title.
int shownPage(const QString& title) {
    static const QRegularExpression page(R"(^Converting \((\d+)/8\)$)");
    const QRegularExpressionMatch match = page.match(title);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// Lets a run through `gate` a page at a time: the next page once the window shows the page
// before it, after `atPage` had its say about the page shown.
std::function<void(ProgressWindow&)>
pageByPage(test::PageGate& gate, int& released,
           const std::function<void(ProgressWindow&)>& atPage = {}) {
    return [&gate, &released, atPage](ProgressWindow& progress) {
        if (shownPage(progress.windowTitle()) != released)
            return;
        if (atPage && released > 0)
            atPage(progress);
        gate.release();
        ++released;
    };
}

TEST_F(MainWindowTest, ProgressFollowsThePagesOfTheFile) {
    m_window->inputField()->setText(QString::fromStdString(sampleTiff("pages.tif", 8)));
    m_window->outputFolderBox()->addItem(QString::fromStdString(outputFolder()));
    test::PageGate gate(m_dir.path().string());
    int released = 0;
    const RunOutcome outcome = watchRun([&] { m_window->runCommand(k_commandConvert); },
                                        pageByPage(gate, released), &gate);
    std::vector<int> pages;
    for (const QString& title : outcome.titles) {
        if (const int page = shownPage(title); page > 0)
            pages.push_back(page);
    }
    // The last page, behind no gate, may end the run before the window looks again.
    if (pages.size() == 8 && pages.back() == 8)
        pages.pop_back();
    EXPECT_EQ(pages, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}))
        << outcome.titles.join("|").toStdString();
    // The bar moves with every page after the first, and never back.
    EXPECT_GE(outcome.bars.size(), 7u);
    EXPECT_TRUE(std::is_sorted(outcome.bars.begin(), outcome.bars.end()));
    EXPECT_EQ(outcome.title.toStdString(), "Conversion complete (1/1)");
    EXPECT_EQ(outcome.bar, outcome.barMaximum);
}

TEST_F(MainWindowTest, CloseQuestionKeepsOrStopsTheRunAfterTheCurrentPage) {
    const std::string out = outputFolder();
    m_window->inputField()->setText(QString::fromStdString(sampleTiff("long.tif", 8)));
    m_window->outputFolderBox()->addItem(QString::fromStdString(out));
    m_dialogs.questionAnswers = {false, true};
    test::PageGate gate(m_dir.path().string());
    int released = 0;
    // No at page 2 lets the run go on; Yes at page 4 stops it once that page is written.
    const RunOutcome outcome = watchRun([&] { m_window->runCommand(k_commandConvert); },
                                        pageByPage(gate, released,
                                                   [&](ProgressWindow& progress) {
                                                       if (released == 2 || released == 4)
                                                           progress.close();
                                                   }),
                                        &gate);
    ASSERT_EQ(m_dialogs.questions.size(), 2u);
    EXPECT_EQ(m_dialogs.questions[0].text.toStdString(), "Do you want to break the conversion?");
    EXPECT_EQ(outcome.title.toStdString(), "Conversion stopped (1/1)");
    EXPECT_EQ(outcome.file.toStdString(), "Conversion stopped");
    EXPECT_EQ(m_window->statusText(), "Conversion stopped");
    // The pages up to the stop are kept whole, and nothing else is written.
    const std::vector<std::string> written = filesIn(out);
    EXPECT_EQ(written, (std::vector<std::string>{"long[1].bmp", "long[2].bmp", "long[3].bmp",
                                                 "long[4].bmp"}));
    for (const std::string& name : written)
        EXPECT_NE(test::loadImage(out + "/" + name), nullptr) << name;
}

// Quitting during a run (the close box, Ctrl+Q, Alt+X) asks the same question: No goes on,
// Yes stops after the page under way, and the program's window then closes by itself.
TEST_F(MainWindowTest, QuittingDuringARunAsksAndEndsAfterThePage) {
    const std::string out = outputFolder();
    m_window->show();
    m_window->inputField()->setText(QString::fromStdString(sampleTiff("long.tif", 8)));
    m_window->outputFolderBox()->addItem(QString::fromStdString(out));
    m_dialogs.questionAnswers = {false, true};
    test::PageGate gate(m_dir.path().string());
    int released = 0;
    watchRun([&] { m_window->runCommand(k_commandConvert); },
             pageByPage(gate, released,
                        [&](ProgressWindow&) {
                            if (released == 2)
                                m_window->close();
                            if (released == 4)
                                m_window->runCommand(k_commandExit);
                        }),
             &gate);
    ASSERT_EQ(m_dialogs.questions.size(), 2u);
    EXPECT_EQ(m_dialogs.questions[1].text.toStdString(), "Do you want to break the conversion?");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_window->isVisible(); }, 60'000));
    EXPECT_EQ(filesIn(out), (std::vector<std::string>{"long[1].bmp", "long[2].bmp", "long[3].bmp",
                                                      "long[4].bmp"}));
}

TEST_F(MainWindowTest, AFailedRunSaysWhyInTheWindowAndTheStatusBar) {
    const std::string notTiff = m_dir.file("picture.tif");
    test::writeFile(notTiff, "just some notes");
    const std::string missing = m_dir.file("gone.tif");
    for (const auto& [input, problem] :
         {std::pair{missing, "cannot open " + missing + ": No such file or directory"},
          {notTiff, notTiff + " is not a TIFF file"}}) {
        m_window->inputField()->setText(QString::fromStdString(input));
        m_window->outputFolderBox()->clear();
        m_window->outputFolderBox()->addItem(QString::fromStdString(outputFolder()));
        const RunOutcome outcome = watchRun([&] { m_window->runCommand(k_commandConvert); });
        EXPECT_EQ(outcome.title.toStdString(), "Conversion stopped (1/1)");
        EXPECT_EQ(outcome.file.toStdString(), "Files converted: 0 of 1");
        EXPECT_EQ(m_window->statusText(), "Conversion stopped: " + problem);
        // The window says it as a sentence of its own.
        std::string sentence = problem;
        sentence[0] = static_cast<char>(std::toupper(sentence[0]));
        EXPECT_EQ(outcome.problem.toStdString(), sentence);
    }
}

// Child processes of this one that ended and were never waited for.
int zombieChildren() {
    int count = 0;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator("/proc", ignored)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        const auto nameEnd = std::getline(stat, line) ? line.rfind(')') : std::string::npos;
        if (nameEnd == std::string::npos)
            continue;
        std::istringstream rest(line.substr(nameEnd + 1));
        char state = 0;
        int parent = 0;
        rest >> state >> parent;
        count += state == 'Z' && parent == getpid();
    }
    return count;
}

TEST_F(MainWindowTest, ImageWatermarkRunLeavesNoDecoderBehind) {
    m_settings.doWatermark = 2;
    m_settings.image = sampleTiff("mark.tif", 1, 6);
    m_window->inputField()->setText(QString::fromStdString(sampleTiff("marked.tif", 3)));
    m_window->outputFolderBox()->addItem(QString::fromStdString(outputFolder()));
    const RunOutcome outcome = watchRun([&] { m_window->runCommand(k_commandConvert); });
    EXPECT_EQ(outcome.title.toStdString(), "Conversion complete (1/1)");
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(zombieChildren(), 0);
}

TEST_F(MainWindowTest, RunOfFiveFilesCountsFilesShowsTheTimeAndNamesEachFailure) {
    std::vector<std::string> inputs;
    for (const char* name : {"1.tif", "2.tif", "3.tif", "4.tif"})
        inputs.push_back(sampleTiff(name));
    const std::string notTiff = m_dir.file("5.tif");
    test::writeFile(notTiff, "just some notes");
    inputs.push_back(notTiff);
    EXPECT_TRUE(m_window->addInputs(inputs));
    EXPECT_EQ(m_window->inputField()->text().toStdString(),
              "5 files queued: 1.tif, 2.tif, 3.tif, 4.tif, ...");

    // The run waits before its first page until the window has been seen at work.
    test::PageGate gate(m_dir.path().string());
    const RunOutcome outcome = watchRun([&] { m_window->runCommand(k_commandConvert); },
                                        [&](ProgressWindow&) { gate.openWide(); });
    ASSERT_FALSE(outcome.titles.empty());
    // Plain "Converting" until the first file begins.
    static const QRegularExpression counted(R"(^Converting( \([1-5]/5\))?$)");
    for (const QString& title : outcome.titles)
        EXPECT_TRUE(counted.match(title).hasMatch()) << title.toStdString();
    EXPECT_EQ(outcome.title.toStdString(), "Conversion complete (5/5)");
    EXPECT_EQ(outcome.file.toStdString(), "Files converted: 4 of 5");
    EXPECT_TRUE(outcome.timeShown);
    EXPECT_EQ(outcome.problem.toStdString(), notTiff + " is not a TIFF file");
    EXPECT_EQ(m_window->statusText(), "Conversion complete: 1 of 5 files not converted");

    // The next file starts a new queue.
    m_window->openInputFile(inputs[0]);
    EXPECT_EQ(m_window->inputField()->text().toStdString(), inputs[0]);
}

TEST_F(MainWindowTest, OutputFormatButtonOpensPreferencesOnTheOutputPage) {
    MainWindow window("title", m_settings, m_job, m_queue,
                      windowHooks(m_settings, m_job, m_dir.file("config.ini"), {}));
    window.finishStartUp(true);
    std::vector<std::string> pages;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QWidget* preferences = QApplication::activeModalWidget();
        if (!preferences)
            return;
        auto* categories = preferences->findChild<QListWidget*>();
        pages.push_back(categories && categories->currentItem()
                            ? categories->currentItem()->text().toStdString()
                            : "?");
        QTest::keyClick(preferences, Qt::Key_Escape);
    });
    watcher.start(10);
    window.runCommand(k_commandOutputFormatOptions);
    window.runCommand(k_commandPreferences);
    EXPECT_EQ(pages, (std::vector<std::string>{"Output", "General"}));
    EXPECT_FALSE(fs::exists(m_dir.file("config.ini"))); // Escape stores nothing
}

TEST_F(MainWindowTest, HooksCarryTheCommandsOfTheOtherWindows) {
    std::vector<std::string> called;
    WindowHooks hooks;
    hooks.openPreferences = [&](QWidget*) {
        called.push_back("preferences at " + std::to_string(m_job.preferencesStartPage));
        m_settings.outFoldersNumber = 5;
        return Rebuild::None;
    };
    hooks.openConverterSearch = [&](QWidget*) { called.push_back("search"); };
    hooks.checkForUpdates = [&](QWidget*) { called.push_back("update"); };
    hooks.openAbout = [&](QWidget*) { called.push_back("about"); };
    hooks.openManual = [&] { called.push_back("manual"); };
    hooks.sendFeedback = [&] { called.push_back("feedback"); };
    hooks.visitHomepage = [&] { called.push_back("home"); };
    MainWindow window("title", m_settings, m_job, m_queue, hooks);
    window.finishStartUp(true);
    for (int command : {8, 17, 16, 23, 24, 18, 21, 22, 99})
        window.runCommand(command);
    EXPECT_EQ(called, (std::vector<std::string>{"preferences at 3", "preferences at 3", "search",
                                                "update", "about", "manual", "feedback", "home"}));
}

} // namespace
} // namespace kx::ui
