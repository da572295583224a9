#include "ui/preferences/preferences_dialog.h"

#include "base/text_format.h"
#include "settings/configuration.h"
#include "settings/settings.h"
#include "settings/string_table.h"
#include "ui/common/desktop.h"
#include "ui/common/dialogs.h"
#include "ui/common/ui_text.h"
#include "ui/preferences/preferences_values.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace kx::ui::prefs {

namespace {

constexpr int k_width = 600;
constexpr int k_height = 350;

QPushButton* makeButton(QWidget* window, std::string_view key, int x) {
    auto* button = new QPushButton(uiText("Dialog", key), window);
    button->setObjectName(QString::fromUtf8(key.data(), static_cast<int>(key.size())));
    button->setGeometry(x, 315, 80, 25);
    // Enter in a field must not press a button: only clicks and Escape close the window.
    button->setAutoDefault(false);
    return button;
}

} // namespace

PreferencesDialog::PreferencesDialog(QWidget* parent, settings::Settings& settings,
                                     std::string configPath, const std::vector<ThemeChoice>& themes,
                                     const QIcon& formatIcon)
    : QDialog(parent), m_settings(settings),
      m_configPath(std::move(configPath)), m_context{settings, this} {
    setWindowTitle(preferencesText("Title"));
    // A title bar with a close box only: the window has one size.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(k_width, k_height);
    setWindowModality(Qt::ApplicationModal);

    m_categories = new QListWidget(this);
    m_categories->setObjectName("categories");
    m_categories->setGeometry(10, 10, 120, 295);
    for (const char* key : categoryKeys())
        m_categories->addItem(preferencesText(key));

    auto* strip = new QWidget(this);
    strip->setGeometry(140, 10, 450, 30);
    strip->setAutoFillBackground(true);
    QPalette white = strip->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    strip->setPalette(white);
    m_title = new QLabel(this);
    m_title->setObjectName("title");
    m_title->setGeometry(150, 17, 330, 20);
    m_title->setAutoFillBackground(true);
    m_title->setPalette(white);

    m_panels = buildPanels(this, m_context, themes, formatIcon);

    m_defaults = makeButton(this, "Defaults", 10);
    m_ok = makeButton(this, "OK", 420);
    m_cancel = makeButton(this, "Cancel", 510);

    connect(m_categories, &QListWidget::currentRowChanged, this, &PreferencesDialog::showPage);
    connect(m_ok, &QPushButton::clicked, this, &PreferencesDialog::storeAndClose);
    connect(m_defaults, &QPushButton::clicked, this, &PreferencesDialog::resetToDefaults);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void PreferencesDialog::fill(int startPage) {
    // The title font exists while the window does.
    m_titleFont = QGuiApplication::font();
    m_titleFont.setPointSize(10);
    m_titleFont.setBold(true);
    m_title->setFont(m_titleFont);

    for (const auto& field : m_panels.fields)
        field->fill(m_settings);
    const int pages = static_cast<int>(categoryKeys().size());
    const int page = startPage >= 0 && startPage < pages ? startPage : 0;
    m_categories->setCurrentRow(page);
    showPage(page);
    for (const auto& rule : m_panels.rules)
        rule();
}

void PreferencesDialog::showPage(int page) {
    for (int index = 0; index < static_cast<int>(m_panels.categories.size()); ++index)
        m_panels.categories[static_cast<size_t>(index)]->setVisible(index == page);
    if (page >= 0 && page < static_cast<int>(categoryKeys().size()))
        m_title->setText(preferencesText(categoryKeys()[static_cast<size_t>(page)]));
}

void PreferencesDialog::writeConfiguration() {
    if (settings::saveConfiguration(m_settings, m_configPath))
        return;
    ui::showWarningMessage(
        this, base::formatText(settings::lookupText("Msg", "Unable to save file"), m_configPath));
}

void PreferencesDialog::storeAndClose() {
    const std::string theme = m_panels.theme->selectedKey(m_settings.uiTheme);
    const int size = m_panels.uiSize->combo()->currentIndex();
    m_refresh = static_cast<RefreshRequest>(refreshRequestFor(
        m_settings.uiTheme, theme, m_settings.uiSize, size >= 0 ? size : m_settings.uiSize));
    for (const auto& field : m_panels.fields)
        field->store(m_settings);
    m_settings.doImageColorCorrection = colourCorrectionWanted(m_settings);
    writeConfiguration();
    accept();
}

void PreferencesDialog::resetToDefaults() {
    const bool reset = ui::dialogs().question(this, ui::Dialogs::Icon::Question,
                                              uiText("Msg", "Reset to Defaults"),
                                              uiText("Msg", "Ask reset to defaults"));
    if (!reset)
        return;
    const std::string shownTheme = m_panels.theme->selectedKey(m_settings.uiTheme);
    const int shownSize = m_panels.uiSize->combo()->currentIndex();
    settings::applyDefaults(m_settings, false, primaryDesktop());
    m_refresh = static_cast<RefreshRequest>(
        refreshRequestFor(shownTheme, m_settings.uiTheme,
                          shownSize >= 0 ? shownSize : m_settings.uiSize, m_settings.uiSize));
    writeConfiguration();
    accept();
}

} // namespace kx::ui::prefs