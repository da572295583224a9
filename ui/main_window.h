#pragma once

#include "settings/settings.h"

#include <QMainWindow>

#include <string>

namespace kx::ui {

// The program's one main window.
class MainWindow : public QMainWindow {
public:
    MainWindow(const std::string& title, settings::Settings& settings);

    // Places the window where the settings say it was last time.
    void restoreGeometryFromSettings();
    // Records the window's state and geometry in the settings: a maximised window keeps the
    // stored geometry, a minimised one changes nothing.
    void storeGeometryInSettings() const;

private:
    settings::Settings& m_settings;
};

} // namespace kx::ui
