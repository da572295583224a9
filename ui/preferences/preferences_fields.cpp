#include "ui/preferences/preferences_fields.h"

#include "engine/drawing_module.h"
#include "imaging/format_registry.h"
#include "settings/setting_keys.h"
#include "settings/settings.h"
#include "ui/common/dialogs.h"
#include "ui/common/ui_text.h"
#include "ui/preferences/preferences_colors.h"
#include "ui/preferences/preferences_slider_pair.h"
#include "ui/preferences/preferences_values.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QTimeZone>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace kx::ui::prefs {

namespace {

constexpr int k_labelX = 10;
constexpr int k_labelWidth = 160;
constexpr int k_labelHeight = 20;
constexpr int k_controlX = 170;
constexpr int k_fullWidth = 240;
constexpr int k_listHeight = 21;
constexpr int k_fieldHeight = 20;
constexpr int k_shortWidth = 214;
constexpr int k_pickX = 389;
constexpr int k_pickSize = 22;
constexpr int k_swatchSize = 16;

QComboBox* makeCombo(QWidget* panel, int x, int y, int width) {
    auto* combo = new QComboBox(panel);
    combo->setGeometry(x, y, width, k_listHeight);
    return combo;
}

QToolButton* makePickButton(QWidget* panel, int y) {
    auto* button = new QToolButton(panel);
    button->setText("...");
    button->setGeometry(k_pickX, y, k_pickSize, k_pickSize);
    return button;
}

int clampedInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

QColor qColour(const std::string& colour) {
    const Rgb rgb = colourOf(colour);
    return QColor(rgb.red, rgb.green, rgb.blue);
}

std::string colourOfQColor(const QColor& colour) {
    return colourText({colour.red(), colour.green(), colour.blue()});
}

} // namespace

const settings::SettingKey& settingKey(std::string_view group, std::string_view key) {
    for (const settings::SettingKey& entry : settings::settingKeys()) {
        if (group == entry.group && key == entry.key)
            return entry;
    }
    std::abort();
}

int64_t integerOf(const settings::Settings& settings, const settings::SettingKey& key) {
    switch (key.kind) {
    case settings::Kind::Integer:
    case settings::Kind::Date:
        return settings.*key.integer;
    case settings::Kind::Small:
        return settings.*key.small;
    case settings::Kind::Real:
        return static_cast<int64_t>(settings.*key.real);
    case settings::Kind::Text:
        break;
    }
    return leadingInteger(settings.*key.text);
}

void setInteger(settings::Settings& settings, const settings::SettingKey& key, int64_t value) {
    switch (key.kind) {
    case settings::Kind::Integer:
    case settings::Kind::Date:
        settings.*key.integer = static_cast<int32_t>(std::clamp<int64_t>(
            value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
        break;
    case settings::Kind::Small:
        settings.*key.small = static_cast<int8_t>(value);
        break;
    case settings::Kind::Real:
        settings.*key.real = static_cast<float>(value);
        break;
    case settings::Kind::Text:
        settings.*key.text = std::to_string(value);
        break;
    }
}

QString preferencesText(std::string_view key) {
    return uiText("Preferences", key);
}

int rowLabelY(int row) {
    return 13 + 30 * row;
}

int rowControlY(int row) {
    return 10 + 30 * row;
}

Field::Field(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key)
    : m_panel(panel), m_row(row), m_key(key),
      m_label(new QLabel(preferencesText(labelKey), panel)) {
    m_label->setGeometry(k_labelX, rowLabelY(row), k_labelWidth, k_labelHeight);
    m_label->setObjectName(QString("%1/%2/label").arg(key.group, key.key));
}

void Field::addControl(QWidget* control, const char* suffix) {
    control->setObjectName(QString("%1/%2%3").arg(m_key.group, m_key.key, suffix));
    m_controls.push_back(control);
}

void Field::setRowEnabled(bool enabled) {
    m_label->setEnabled(enabled);
    for (QWidget* control : m_controls)
        control->setEnabled(enabled);
}

void Field::setRowVisible(bool visible) {
    m_label->setVisible(visible);
    for (QWidget* control : m_controls)
        control->setVisible(visible);
}

ListField::ListField(QWidget* panel, int row, std::string_view labelKey,
                     const settings::SettingKey& key, const QStringList& entries, int width)
    : Field(panel, row, labelKey, key),
      m_combo(makeCombo(panel, k_controlX, rowControlY(row), width)) {
    m_combo->addItems(entries);
    addControl(m_combo);
}

void ListField::fill(const settings::Settings& settings) {
    const int64_t value = integerOf(settings, m_key);
    m_combo->setCurrentIndex(value >= 0 && value < m_combo->count() ? static_cast<int>(value) : -1);
}

void ListField::store(settings::Settings& settings) const {
    if (m_combo->currentIndex() >= 0)
        setInteger(settings, m_key, m_combo->currentIndex());
}

DepthField::DepthField(QWidget* panel, int row, const settings::SettingKey& key,
                       std::string_view format)
    : Field(panel, row, "Bits Per Pixel", key),
      m_combo(makeCombo(panel, k_controlX, rowControlY(row), k_fullWidth)) {
    m_combo->addItem(preferencesText("Auto"));
    for (int depth : imaging::allowedDepths(format))
        m_combo->addItem(QString::number(depth));
    addControl(m_combo);
}

void DepthField::fill(const settings::Settings& settings) {
    const int64_t value = integerOf(settings, m_key);
    m_combo->setCurrentIndex(value == 0 ? 0 : m_combo->findText(QString::number(value)));
}

void DepthField::store(settings::Settings& settings) const {
    const int position = m_combo->currentIndex();
    if (position == 0)
        setInteger(settings, m_key, 0);
    else if (position > 0)
        setInteger(settings, m_key, m_combo->currentText().toInt());
}

CheckField::CheckField(QWidget* panel, int row, std::string_view labelKey,
                       const settings::SettingKey& key)
    : Field(panel, row, labelKey, key), m_check(new QCheckBox(panel)) {
    m_check->setGeometry(k_controlX, rowControlY(row), k_fullWidth, k_fieldHeight);
    addControl(m_check);
}

void CheckField::fill(const settings::Settings& settings) {
    m_check->setChecked(integerOf(settings, m_key) != 0);
}

void CheckField::store(settings::Settings& settings) const {
    setInteger(settings, m_key, m_check->isChecked() ? 1 : 0);
}

NumberField::NumberField(QWidget* panel, int row, std::string_view labelKey,
                         const settings::SettingKey& key, const QStringList& units,
                         const settings::SettingKey* unitKey)
    : Field(panel, row, labelKey, key), m_edit(new QLineEdit(panel)),
      m_unit(makeCombo(panel, 340, rowControlY(row), 70)), m_unitKey(unitKey) {
    m_edit->setGeometry(k_controlX, rowControlY(row), 160, k_fieldHeight);
    // Digits only, with a sign so that stored negative offsets can be shown and kept.
    m_edit->setValidator(new QRegularExpressionValidator(QRegularExpression("-?[0-9]*"), m_edit));
    m_unit->addItems(units);
    addControl(m_edit);
    addControl(m_unit, "/unit");
}

void NumberField::fill(const settings::Settings& settings) {
    m_edit->setText(QString::number(integerOf(settings, m_key)));
    int unit = 0;
    if (m_unitKey) {
        const int64_t stored = integerOf(settings, *m_unitKey);
        unit = stored >= 0 && stored < m_unit->count() ? static_cast<int>(stored) : -1;
    }
    m_unit->setCurrentIndex(unit);
}

void NumberField::store(settings::Settings& settings) const {
    setInteger(settings, m_key, leadingInteger(m_edit->text().toStdString()));
    if (m_unitKey && m_unit->currentIndex() >= 0)
        setInteger(settings, *m_unitKey, m_unit->currentIndex());
}

void NumberField::setNumber(int value) {
    m_edit->setText(QString::number(value));
}

SliderField::SliderField(QWidget* panel, int row, std::string_view labelKey,
                         const settings::SettingKey& key, int min, int max, int offset)
    : Field(panel, row, labelKey, key),
      m_pair(std::make_unique<SliderPair>(panel, rowControlY(row), min, max, offset)) {
    addControl(m_pair->box());
    addControl(m_pair->slider(), "/slider");
}

SliderField::~SliderField() = default;

void SliderField::fill(const settings::Settings& settings) {
    m_pair->setValue(clampedInt(integerOf(settings, m_key)));
}

void SliderField::store(settings::Settings& settings) const {
    setInteger(settings, m_key, m_pair->value());
}

GammaField::GammaField(QWidget* panel, int row, std::string_view labelKey,
                       const settings::SettingKey& key)
    : Field(panel, row, labelKey, key),
      m_pair(std::make_unique<SliderPair>(panel, rowControlY(row))) {
    addControl(m_pair->box());
    addControl(m_pair->slider(), "/slider");
}

GammaField::~GammaField() = default;

void GammaField::fill(const settings::Settings& settings) {
    m_pair->setValue(gammaCount(settings.*m_key.real));
}

void GammaField::store(settings::Settings& settings) const {
    settings.*m_key.real = static_cast<float>(m_pair->value()) / 100.0f;
}

ColourField::ColourField(QWidget* panel, int row, std::string_view labelKey,
                         const settings::SettingKey& key, FieldContext& context)
    : Field(panel, row, labelKey, key), m_swatch(new QToolButton(panel)),
      m_text(new QLineEdit(panel)), m_context(context) {
    m_swatch->setGeometry(k_controlX, rowControlY(row), 44, 22);
    m_swatch->setIconSize(QSize(34, 12));
    m_text->setGeometry(220, rowControlY(row), 190, k_fieldHeight);
    m_text->setReadOnly(true);
    QObject::connect(m_swatch, &QToolButton::clicked, m_swatch, [this] { pick(); });
    addControl(m_text);
    addControl(m_swatch, "/swatch");
}

void ColourField::show(const std::string& colour) {
    m_swatch->setIcon(QIcon(colourSwatch(colour, 34, 12)));
    m_text->setText(qtext(colour));
}

void ColourField::fill(const settings::Settings& settings) {
    show(settings.*m_key.text);
}

void ColourField::store(settings::Settings& settings) const {
    settings.*m_key.text = normalisedColour(m_text->text().toStdString());
}

void ColourField::pick() {
    const std::string current = m_text->text().toStdString();
    const std::optional<QColor> chosen =
        ui::dialogs().chooseColor(m_context.window, qColour(current));
    if (!chosen)
        return;
    const std::string picked = colourOfQColor(*chosen);
    if (picked != normalisedColour(current))
        show(picked);
}

ColourListField::ColourListField(QWidget* panel, int row, std::string_view labelKey,
                                 const settings::SettingKey& key,
                                 const settings::SettingKey& listKey, FieldContext& context)
    : Field(panel, row, labelKey, key),
      m_combo(makeCombo(panel, k_controlX, rowControlY(row), k_shortWidth)), m_listKey(listKey),
      m_context(context) {
    m_combo->setIconSize(QSize(k_swatchSize, k_swatchSize));
    QToolButton* button = makePickButton(panel, rowControlY(row));
    QObject::connect(button, &QToolButton::clicked, button, [this] { pick(); });
    addControl(m_combo);
    addControl(button, "/pick");
}

void ColourListField::addEntry(const std::string& colour) {
    const std::string hex = normalisedColour(colour);
    m_combo->addItem(QIcon(colourSwatch(hex, k_swatchSize, k_swatchSize)), colourName(hex),
                     qtext(hex));
}

int ColourListField::entryOf(const std::string& colour) const {
    return m_combo->findData(qtext(normalisedColour(colour)));
}

void ColourListField::fill(const settings::Settings& settings) {
    m_combo->clear();
    for (const std::string& colour : splitList(settings.*m_listKey.text))
        addEntry(colour);
    m_combo->setCurrentIndex(entryOf(settings.*m_key.text));
}

void ColourListField::store(settings::Settings& settings) const {
    if (m_combo->currentIndex() >= 0)
        settings.*m_key.text = m_combo->currentData().toString().toStdString();
}

void ColourListField::pick() {
    const std::string current =
        m_combo->currentIndex() >= 0 ? m_combo->currentData().toString().toStdString() : "";
    const std::optional<QColor> chosen =
        ui::dialogs().chooseColor(m_context.window, qColour(current));
    if (!chosen)
        return;
    const std::string picked = colourOfQColor(*chosen);
    std::string& list = m_context.live.*m_listKey.text;
    const std::vector<std::string> items = splitList(list);
    const bool listed = std::any_of(items.begin(), items.end(), [&](const std::string& item) {
        return normalisedColour(item) == picked;
    });
    if (!listed) {
        appendToList(list, picked);
    }
    if (entryOf(picked) < 0)
        addEntry(picked);
    m_combo->setCurrentIndex(entryOf(picked));
}

FontField::FontField(QWidget* panel, int row, std::string_view labelKey,
                     const settings::SettingKey& key, const settings::SettingKey& listKey,
                     FieldContext& context)
    : Field(panel, row, labelKey, key),
      m_combo(makeCombo(panel, k_controlX, rowControlY(row), k_shortWidth)), m_listKey(listKey),
      m_context(context) {
    m_combo->setEditable(true);
    m_combo->setInsertPolicy(QComboBox::NoInsert);
    QToolButton* button = makePickButton(panel, rowControlY(row));
    QObject::connect(button, &QToolButton::clicked, button, [this] { pick(); });
    addControl(m_combo);
    addControl(button, "/pick");
}

void FontField::setCompanions(NumberField* size, ListField* style) {
    m_size = size;
    m_style = style;
}

void FontField::fill(const settings::Settings& settings) {
    m_combo->clear();
    // Only faces this machine has, so that no choice from the list fails at Convert; the
    // stored face shows even when missing, and Convert then says so.
    for (const std::string& name : splitList(settings.*m_listKey.text)) {
        if (engine::fontCanBeLoaded(name))
            m_combo->addItem(qtext(name));
    }
    m_combo->setCurrentText(qtext(settings.*m_key.text));
}

void FontField::store(settings::Settings& settings) const {
    settings.*m_key.text = m_combo->currentText().toStdString();
}

void FontField::pick() {
    QFont initial(m_combo->currentText());
    if (m_size) {
        const int size = leadingInteger(m_size->edit()->text().toStdString());
        if (size > 0)
            initial.setPointSize(size);
    }
    const std::optional<QFont> chosen = ui::dialogs().chooseFont(m_context.window, initial);
    if (!chosen)
        return;
    QString name = chosen->family();
    name.remove(',');
    std::string& list = m_context.live.*m_listKey.text;
    const std::vector<std::string> names = splitList(list);
    if (std::find(names.begin(), names.end(), name.toStdString()) == names.end()) {
        appendToList(list, name.toStdString());
        m_combo->addItem(name);
    }
    m_combo->setCurrentText(name);
    if (m_size && chosen->pointSize() > 0)
        m_size->setNumber(chosen->pointSize());
    if (m_style) {
        const int flags = (chosen->bold() ? 256 : 0) | (chosen->italic() ? 512 : 0);
        const int entry = m_style->combo()->findData(flags);
        if (entry >= 0)
            m_style->combo()->setCurrentIndex(entry);
    }
}

TextField::TextField(QWidget* panel, int row, std::string_view labelKey,
                     const settings::SettingKey& key, FieldContext* pickImage)
    : Field(panel, row, labelKey, key), m_edit(new QLineEdit(panel)), m_context(pickImage) {
    m_edit->setGeometry(k_controlX, rowControlY(row), pickImage ? k_shortWidth : k_fullWidth,
                        k_fieldHeight);
    addControl(m_edit);
    if (pickImage) {
        QToolButton* button = makePickButton(panel, rowControlY(row));
        QObject::connect(button, &QToolButton::clicked, button, [this] { pick(); });
        addControl(button, "/pick");
    }
}

void TextField::fill(const settings::Settings& settings) {
    m_edit->setText(qtext(settings.*m_key.text));
    m_edit->setCursorPosition(0);
}

void TextField::store(settings::Settings& settings) const {
    settings.*m_key.text = cleanedText(m_edit->text().toStdString());
}

void TextField::pick() {
    const QString title = uiText("Dialog", "Select Watermark Image");
    const QString start = qtext(cleanedText(m_edit->text().toStdString()));
    const QString chosen =
        ui::dialogs().openFile(m_context->window, title, start, watermarkImageFilter());
    if (!chosen.isEmpty())
        m_edit->setText(chosen);
}

QString watermarkImageFilter() {
    struct Filter {
        QString name;
        QString patterns;
    };
    const Filter kinds[] = {
        {"Portable Network Graphics", "*.png"},
        {"Windows or OS/2 Bitmap", "*.bmp;*.rle;*.dib"},
        {"JPEG File", "*.jpg;*.jpeg;*.jpe;*.jif"},
    };
    QStringList all;
    QStringList filters;
    for (const Filter& kind : kinds) {
        all << kind.patterns;
        // Qt separates the patterns of one filter by spaces.
        filters << QString("%1 (%2)").arg(kind.name, QString(kind.patterns).replace(';', ' '));
    }
    filters.prepend(QString("%1 (%2)").arg(uiText("Dialog", "All Supported Files"),
                                           all.join(';').replace(';', ' ')));
    // "*.*" would hide files without an extension here; "*" is every file.
    filters << uiText("Dialog", "All Files") + " (*)";
    return filters.join(";;");
}

DateField::DateField(QWidget* panel, int row, std::string_view labelKey,
                     const settings::SettingKey& key)
    : Field(panel, row, labelKey, key), m_edit(new QDateTimeEdit(panel)) {
    m_edit->setGeometry(k_controlX, rowControlY(row), k_fullWidth, k_listHeight);
    m_edit->setTimeSpec(Qt::UTC);
    m_edit->setDisplayFormat("yyyy/MM/dd hh:mm");
    // Dates are 32-bit seconds counted on the local wall clock as if it were UTC.
    m_edit->setDateTimeRange(
        QDateTime::fromSecsSinceEpoch(std::numeric_limits<int32_t>::min(), Qt::UTC),
        QDateTime::fromSecsSinceEpoch(std::numeric_limits<int32_t>::max(), Qt::UTC));
    addControl(m_edit);
}

void DateField::fill(const settings::Settings& settings) {
    m_filled = static_cast<settings::Date>(integerOf(settings, m_key));
    m_edit->setDateTime(QDateTime::fromSecsSinceEpoch(m_filled, Qt::UTC));
}

void DateField::store(settings::Settings& settings) const {
    const int64_t shown = m_edit->dateTime().toSecsSinceEpoch();
    // The field shows minutes; an unchanged minute keeps the seconds that were stored.
    auto minuteOf = [](int64_t seconds) {
        return seconds >= 0 ? seconds / 60 : (seconds - 59) / 60;
    };
    setInteger(settings, m_key, minuteOf(shown) == minuteOf(m_filled) ? m_filled : shown);
}

} // namespace kx::ui::prefs