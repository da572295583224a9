#pragma once

#include "settings/setting_keys.h"
#include "settings/settings.h"
#include "ui/preferences/preferences_fields.h"
#include "ui/preferences/preferences_window.h"

#include <QIcon>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace kx::ui::prefs {

using Fields = std::vector<std::unique_ptr<Field>>;

// `Language`: the one entry "English"; OK stores "en".
class LanguageField : public ListField {
public:
    LanguageField(QWidget* panel, int row, const settings::SettingKey& key);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;
};

// `UI Theme`: the themes' display names ordered by key without regard to case, or `None`.
class ThemeField : public ListField {
public:
    ThemeField(QWidget* panel, int row, const settings::SettingKey& key,
               std::vector<ThemeChoice> themes);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;
    // The key of the selected theme; `fallback` when there is no theme to choose.
    std::string selectedKey(const std::string& fallback) const;

private:
    std::vector<ThemeChoice> m_themes;
};

// The input or output format list, each entry with the "New" picture; selecting one shows
// that format's sub-panel.
class FormatField : public ListField {
public:
    FormatField(QWidget* panel, const settings::SettingKey& key,
                const std::vector<std::string>& formats, const QIcon& icon, bool describe);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;
    void addSubPanel(const std::string& format, QWidget* subPanel);
    void showSelectedSubPanel();

private:
    std::vector<std::string> m_formats;
    std::map<std::string, QWidget*> m_subPanels;
};

// The nine category panels with every field of the window, the special fields the OK and
// Defaults buttons read, and the dependency rules to run after filling.
struct Panels {
    std::vector<QWidget*> categories; // the nine panels (or their scroll areas), in list order
    Fields fields;
    ThemeField* theme = nullptr;
    ListField* uiSize = nullptr;
    std::vector<std::function<void()>> rules;
};

// Builds the panels as children of `window`, each at 140, 50 and 450 x 255, all hidden.
Panels buildPanels(QWidget* window, FieldContext& context, const std::vector<ThemeChoice>& themes,
                   const QIcon& formatIcon);

// The nine category names (string-table keys of group `Preferences`), in list order.
const std::vector<const char*>& categoryKeys();

} // namespace kx::ui::prefs