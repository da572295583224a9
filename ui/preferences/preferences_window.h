#pragma once

#include "settings/settings.h"

#include <QIcon>

#include <cstdint>
#include <string>
#include <vector>

class QWidget;

namespace kx::ui {

// What the main window must rebuild after the window closed.
enum class RefreshRequest { None = 0, Full = 1, IconsOnly = 2 };

struct ThemeChoice {
    std::string key;
    std::string displayName;
};

// Opens Preferences modal to `parent`, at page `startPage` (which it resets to 0), edits
// `settings`; OK writes the configuration file at `configPath`. Returns the refresh request.
//
// Cancel, Escape and the close box store nothing and return None, but colours and fonts added
// with the pickers stay in `Font Colors`, `Back Colors` and `Fonts`. Defaults asks first and,
// on Yes, resets `settings` and writes the file. A file that cannot be written is reported in
// a warning box; the edited settings stay in the record. `formatIcon` is the theme's "New"
// picture shown beside the input and output formats (the style's file icon when null).
// Main thread only; needs a QApplication.
RefreshRequest runPreferences(QWidget* parent, settings::Settings& settings, int8_t& startPage,
                              const std::string& configPath, const std::vector<ThemeChoice>& themes,
                              const QIcon& formatIcon = QIcon());

} // namespace kx::ui