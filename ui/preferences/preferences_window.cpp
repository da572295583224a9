#include "ui/preferences/preferences_window.h"

#include "settings/settings.h"
#include "ui/preferences/preferences_dialog.h"

#include <QWidget>

namespace kx::ui {

RefreshRequest runPreferences(QWidget* parent, settings::Settings& settings, int8_t& startPage,
                              const std::string& configPath, const std::vector<ThemeChoice>& themes,
                              const QIcon& formatIcon) {
    prefs::PreferencesDialog window(parent, settings, configPath, themes, formatIcon);
    window.fill(startPage);
    startPage = 0;
    window.exec();
    if (parent)
        parent->activateWindow();
    return window.refreshRequest();
}

} // namespace kx::ui