#include "settings/preferences_window.h"

#include "settings/preferences_dialog.h"

#include <QWidget>

namespace kx::settings {

RefreshRequest runPreferences(QWidget* parent, Settings& settings, int8_t& startPage,
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

} // namespace kx::settings
