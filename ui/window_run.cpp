#include "ui/window_run.h"

#include "engine/job_state.h"
#include "engine/run_control.h"
#include "settings/configuration.h"
#include "settings/string_table.h"
#include "ui/about_window.h"
#include "ui/common/desktop.h"
#include "ui/converter_search.h"
#include "ui/hand_over_server.h"
#include "ui/main_window.h"
#include "ui/pictures.h"
#include "ui/preferences/preferences_window.h"
#include "ui/shell_targets.h"
#include "ui/themes.h"
#include "ui/update_check.h"
#include "ui/window_system.h"

#include <QApplication>
#include <QSocketNotifier>

namespace kx::ui {

namespace {

// The end of the desktop session reaches the program as a signal, maybe while a message box
// or the progress window turns an event loop of its own: the configuration is written at once
// and the program ends, abandoning the page being converted, with nothing left half written.
void endWithTheSession(MainWindow& window, const settings::Settings& settings,
                       const std::string& configPath) {
    const int stopFd = engine::catchStopSignals();
    if (stopFd < 0)
        return;
    auto* notifier = new QSocketNotifier(stopFd, QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window,
                     [&window, &settings, configPath] {
                         // A copy, since a conversion may still be reading the settings.
                         settings::Settings stored = settings;
                         finishWindowRun(window, stored, configPath);
                         engine::endAtOnce();
                     });
}

} // namespace

WindowHooks windowHooks(settings::Settings& settings, engine::JobState& job,
                        const std::string& configPath, const std::vector<ThemeEntry>& themes) {
    std::vector<ui::ThemeChoice> choices;
    for (const ThemeEntry& theme : themes)
        choices.push_back({theme.key, theme.displayName});
    WindowHooks hooks;
    hooks.openPreferences = [&settings, &job, configPath, choices](QWidget* parent) {
        return ui::runPreferences(parent, settings, job.preferencesStartPage, configPath, choices,
                                  pictureIcon(PictureSet::MenuIcons, "New"));
    };
    hooks.reloadPictures = [&settings, themes](bool buttons, bool menuIcons, bool toolbarIcons) {
        loadThemePictures(settings, themes, buttons, menuIcons, toolbarIcons);
    };
    hooks.openConverterSearch = openConverterSearch;
    hooks.checkForUpdates = checkForUpdatesOnRequest;
    hooks.openAbout = openAboutWindow;
    hooks.openManual = openManual;
    hooks.sendFeedback = openFeedbackMail;
    hooks.visitHomepage = openHomePage;
    hooks.afterStartUp = [&settings](QWidget* parent) {
        runAutomaticUpdateCheck(parent, settings);
    };
    return hooks;
}

void runWindowMode(const std::string& title, const std::string& inputFile,
                   const std::string& handOverPath) {
    const std::unique_ptr<QApplication> app = startWindowSystem(title);
    if (!app)
        return;

    auto& settings = settings::globalSettings();
    const std::string configPath = settings::configurationPath();
    settings::loadConfiguration(settings, configPath, primaryDesktop());
    settings::loadStringTable();
    bindBuiltInPictures();
    const std::vector<ThemeEntry> themes = listThemes();
    loadThemePictures(settings, themes, true, true, true);
    auto& job = engine::globalJobState();
    auto& queue = engine::globalJobQueue();
    engine::resetJobState(job, queue);

    MainWindow window(title, settings, job, queue, windowHooks(settings, job, configPath, themes));
    window.restoreGeometryFromSettings();
    endWithTheSession(window, settings, configPath);
    window.finishStartUp();
    if (!inputFile.empty())
        window.openInputFile(inputFile);
    const HandOverServer handOvers(
        handOverPath, [&window](const std::string& file) { window.takeHandOver(file); });
    // The window may have been closed already, during the update check at start-up.
    if (window.isVisible())
        app->exec();
    finishWindowRun(window, settings, configPath);
}

void finishWindowRun(const MainWindow& window, settings::Settings& settings,
                     const std::string& configPath) {
    window.storeGeometryInSettings();
    if (settings.outFoldersHistory == 0)
        settings.recentOutFolders.clear();
    settings::saveConfiguration(settings, configPath);
}

} // namespace kx::ui
