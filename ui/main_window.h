#pragma once

#include "engine/input_walk.h"
#include "engine/job_state.h"
#include "settings/settings.h"
#include "ui/conversion_run.h"
#include "ui/preferences/preferences_window.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;
class QToolButton;

namespace kx::ui {

// The numbers of the window's commands; menu items, toolbar buttons and shortcuts that
// share a number do the same thing.
enum Command : int {
    k_commandNew = 0,
    k_commandExit = 3,
    k_commandSelectInputFile = 5,
    k_commandSelectOutputFolder = 7,
    k_commandOutputFormatOptions = 8,
    k_commandConvert = 14,
    k_commandCustomConverter = 16,
    k_commandPreferences = 17,
    k_commandManual = 18,
    k_commandSendFeedback = 21,
    k_commandVisitHomepage = 22,
    k_commandCheckForNewVersion = 23,
    k_commandAbout = 24,
};

// What the main window must rebuild after the Preferences window closed.
using Rebuild = ui::RefreshRequest;

// The windows and actions that live elsewhere. An empty hook does nothing.
struct WindowHooks {
    // Opens Preferences at the job state's start page; returns what to rebuild.
    std::function<Rebuild(QWidget* parent)> openPreferences;
    std::function<void(QWidget* parent)> openConverterSearch;
    std::function<void(QWidget* parent)> checkForUpdates;
    std::function<void(QWidget* parent)> openAbout;
    std::function<void()> openManual;
    std::function<void()> sendFeedback;
    std::function<void()> visitHomepage;
    // Runs once the window is shown (the automatic update check).
    std::function<void(QWidget* parent)> afterStartUp;
    // Reloads theme pictures: buttons, menu icons, toolbar icons.
    std::function<void(bool, bool, bool)> reloadPictures;
};

// The program's one main window: the input file field, the output folder and output format
// boxes, the Convert button, menus, toolbar and status bar. Main thread only.
class MainWindow : public QMainWindow, private ConversionHost {
public:
    MainWindow(const std::string& title, settings::Settings& settings, engine::JobState& job,
               engine::JobQueue& queue, WindowHooks hooks = {});
    ~MainWindow() override;

    // Places the window where the settings say it was last time.
    void restoreGeometryFromSettings();
    // Records the window's state and geometry in the settings: a maximised window keeps the
    // stored geometry, a minimised one changes nothing.
    void storeGeometryInSettings() const;

    // Fills the boxes, starts afresh, shows the window and runs the after-start-up hook
    // unless `showOnly` (the screenshot mode) is set.
    void finishStartUp(bool showOnly = false);

    // Carries out command `command` as the menu, toolbar or shortcut would; unknown numbers
    // do nothing.
    void runCommand(int command);

    // Takes `path` as the one input file when its size and extension are accepted: shows it
    // and, when the output folder box is empty, takes the file's folder as output folder.
    bool setInputFile(const std::string& path);

    // Queues the files and folders the user handed over (chosen, dropped, typed, "Open with")
    // after those queued already, each file once; folders with every TIFF file below them.
    // The queue of the last run, or the one the user typed over, is replaced instead. The
    // field shows the one file or how many there are; an empty output folder box takes the
    // folder of the first input (a folder named itself). Whatever gives nothing to convert
    // gets a warning that names it and says why. True when nothing was refused.
    bool addInputs(const std::vector<std::string>& paths);
    bool openInputFile(const std::string& path) { return addInputs({path}); }

    // A later start of the program handed over `file` (empty for none): raises the window
    // and takes the file as a dropped one, once no other window of the program is open.
    void takeHandOver(const std::string& file);

    // Rebuilds pictures and lists after the Preferences window.
    void rebuildAfterPreferences(Rebuild request);

    // For tests and the screenshot mode.
    QLineEdit* inputField() const { return m_inputField; }
    QComboBox* outputFolderBox() const { return m_outputBox; }
    QComboBox* outputFormatBox() const { return m_formatBox; }
    QToolButton* convertButton() const { return m_convertButton; }
    QToolButton* fieldButton(int index) const { return m_fieldButtons.at(index); }
    QToolBar* mainToolbar() const { return m_toolbar; }
    QWidget* container() const { return m_container; }
    std::string statusText() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* hostWindow() override { return this; }
    void setStatusText(const std::string& text) override;
    // After the user changed the input or the output folder: the last run's outcome no
    // longer describes the window.
    void showReady();
    void refillOutputFolders() override;
    void setActiveProgress(ProgressWindow* progress) override { m_progress = progress; }

    void buildContainer();
    void buildMenus();
    void buildToolbar();
    void applyPictures();
    void applyToolbarIconSize();
    void registerShortcuts();
    void layoutContents();
    void fitHeight();
    void fillOutputFormats();
    void startAfresh();
    // Shows the queue in the input field.
    void showQueue();
    // Makes the queue what the input field names, unless the field shows the queue.
    void queueFieldText();
    engine::InputWalk inputWalk() const;
    // An empty output folder box takes `folder`.
    void takeOutputFolder(const std::string& folder);
    // A path typed into the input field is taken like a chosen one once the user leaves the
    // field or presses Enter, when the output folder box is still empty; an unacceptable
    // one is left for Convert to refuse.
    void takeTypedInput();
    void openWhenNoWindowIsOpen(const std::string& file);
    void chooseInputFile();
    void chooseOutputFolder();
    void convert();
    void openPreferences(int8_t startPage);
    // The menu item `captionKey`, its mnemonic a letter not in `mnemonicsTaken` (which gets it).
    QAction* commandAction(const std::string& captionKey, const std::string& shortcut, int command,
                           QString& mnemonicsTaken);

    settings::Settings& m_settings;
    engine::JobState& m_job;
    engine::JobQueue& m_queue;
    WindowHooks m_hooks;
    CurrentPaths m_paths;
    ProgressWindow* m_progress = nullptr;
    bool m_quitAfterRun = false;   // quitting was asked for, and answered Yes, during the run
    std::string m_shownInput;      // what showQueue put in the input field, trimmed
    bool m_queueConverted = false; // the next input starts a new queue

    QWidget* m_container = nullptr;
    QLineEdit* m_inputField = nullptr;
    QComboBox* m_outputBox = nullptr;
    QComboBox* m_formatBox = nullptr;
    QToolButton* m_convertButton = nullptr;
    std::array<QToolButton*, 3> m_fieldButtons{};
    QLabel* m_notice = nullptr;
    QLabel* m_status = nullptr;
    QToolBar* m_toolbar = nullptr;
    int m_iconPixels = 16;
    std::vector<std::pair<QAction*, std::string>> m_menuPictures;
};

} // namespace kx::ui
