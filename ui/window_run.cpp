#include "ui/window_run.h"

#include "engine/job_state.h"
#include "settings/configuration.h"
#include "ui/main_window.h"
#include "ui/string_table.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

namespace kx::ui {

namespace {

bool displayAvailable() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(name); value && *value)
            return true;
    }
    return false;
}

settings::DesktopSize primaryDesktop() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {screen->size().width(), screen->size().height()};
}

} // namespace

void runWindowMode(const std::string& title) {
    if (!displayAvailable()) {
        std::fprintf(stderr,
                     "%s: no display is available for the window; give -i FILE to "
                     "convert from the command line.\n",
                     title.c_str());
        return;
    }
    // Qt reads options such as -platform or -style from argv; the program's own parameters
    // were parsed already, so Qt sees only the program name.
    static int argc = 1;
    static char name[] = "kestrelix";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    auto& settings = settings::globalSettings();
    const std::string configPath = settings::configurationPath();
    settings::loadConfiguration(settings, configPath, primaryDesktop());
    loadStringTable();
    engine::resetJobState(engine::globalJobState(), engine::globalJobQueue());

    MainWindow window(title, settings);
    window.restoreGeometryFromSettings();
    if (settings.isMaximized)
        window.showMaximized();
    else
        window.show();
    app.exec();
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
