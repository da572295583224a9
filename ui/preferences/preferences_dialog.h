#pragma once

#include "settings/settings.h"
#include "ui/preferences/preferences_panels.h"
#include "ui/preferences/preferences_window.h"

#include <QDialog>
#include <QFont>

#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

namespace kx::ui::prefs {

// The Preferences window: the category list, the title strip, one panel per category and the
// Defaults, OK and Cancel buttons on a fixed 600 x 350 client area. `runPreferences` opens it
// modally; tests drive it directly. Main thread only.
class PreferencesDialog : public QDialog {
public:
    PreferencesDialog(QWidget* parent, settings::Settings& settings, std::string configPath,
                      const std::vector<ThemeChoice>& themes, const QIcon& formatIcon);

    // Shows the record in every control, opens the page `startPage` (0 for any value out of
    // 0..8) and applies the dependency rules.
    void fill(int startPage);

    // What the main window must rebuild; None unless OK or a confirmed reset closed the window.
    RefreshRequest refreshRequest() const { return m_refresh; }

    QPushButton* defaultsButton() const { return m_defaults; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    void showPage(int page);
    void storeAndClose();
    void resetToDefaults();
    void writeConfiguration();

    settings::Settings& m_settings;
    std::string m_configPath;
    FieldContext m_context;
    Panels m_panels;
    QListWidget* m_categories;
    QLabel* m_title;
    QFont m_titleFont;
    QPushButton* m_defaults;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    RefreshRequest m_refresh = RefreshRequest::None;
};

} // namespace kx::ui::prefs