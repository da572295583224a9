#pragma once

#include "settings/setting_keys.h"
#include "settings/settings.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace kx::ui::prefs {

class NumberBox;
class SliderPair;

// The key-table entry of `key` in `group` (matched exactly). Every control of the window is
// bound through this lookup, so no setting is listed a second time. A name the table does not
// hold is a programming error: it aborts.
const settings::SettingKey& settingKey(std::string_view group, std::string_view key);

// Integer, small and date settings as one wide integer; writing keeps the low 8 bits of a
// small field and saturates an integer one.
int64_t integerOf(const settings::Settings& settings, const settings::SettingKey& key);
void setInteger(settings::Settings& settings, const settings::SettingKey& key, int64_t value);

// A text from group `Preferences` of the string table.
QString preferencesText(std::string_view key);

// Row geometry of the panels: label at x 10, y 13 + 30 n; controls at x 170, y 10 + 30 n.
int rowLabelY(int row);
int rowControlY(int row);

// What every field may need besides its own setting: the live record that the pickers extend
// at once, and the window that owns the pickers' dialogs.
struct FieldContext {
    settings::Settings& live;
    QWidget* window = nullptr;
};

// One row of a panel: its label and the controls beside it, bound to one setting through the
// key table. `fill` shows the setting, `store` writes the control back; a control that shows
// nothing it could store (a list without selection) leaves the setting as it was.
class Field {
public:
    Field(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key);
    virtual ~Field() = default;
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    virtual void fill(const settings::Settings& settings) = 0;
    virtual void store(settings::Settings& settings) const = 0;

    void setRowEnabled(bool enabled);
    void setRowVisible(bool visible);
    const settings::SettingKey& key() const { return m_key; }
    QLabel* label() const { return m_label; }

protected:
    // Names the control after its setting ("Group/Key" plus `suffix`) for tests and tools,
    // and makes it part of the row.
    void addControl(QWidget* control, const char* suffix = "");

    QWidget* m_panel;
    int m_row;
    const settings::SettingKey& m_key;

private:
    QLabel* m_label;
    std::vector<QWidget*> m_controls;
};

// A drop-down list whose position is the setting.
class ListField : public Field {
public:
    ListField(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key,
              const QStringList& entries, int width = 240);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;
    QComboBox* combo() const { return m_combo; }

protected:
    QComboBox* m_combo;
};

// `Auto` then the format's depths; 0 means `Auto`, any other value the entry of that number.
class DepthField : public Field {
public:
    DepthField(QWidget* panel, int row, const settings::SettingKey& key, std::string_view format);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;

private:
    QComboBox* m_combo;
};

class CheckField : public Field {
public:
    CheckField(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;
    QCheckBox* check() const { return m_check; }

private:
    QCheckBox* m_check;
};

// A numbers-only text field with a unit list; the unit is a setting of its own only for the
// resize width and height (`unitKey`), elsewhere the list just names the unit.
class NumberField : public Field {
public:
    NumberField(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key,
                const QStringList& units, const settings::SettingKey* unitKey = nullptr);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;
    QLineEdit* edit() const { return m_edit; }
    void setNumber(int value);

private:
    QLineEdit* m_edit;
    QComboBox* m_unit;
    const settings::SettingKey* m_unitKey;
};

// A slider and a number box over `min`..`max`; the slider runs `offset` above the box.
class SliderField : public Field {
public:
    SliderField(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key,
                int min, int max, int offset = 0);
    ~SliderField() override;
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;

private:
    std::unique_ptr<SliderPair> m_pair;
};

// Gamma in hundredths on the slider, with two decimals in the box.
class GammaField : public Field {
public:
    GammaField(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key);
    ~GammaField() override;
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;

private:
    std::unique_ptr<SliderPair> m_pair;
};

// A swatch that opens the colour dialog and the colour's six hex digits beside it.
class ColourField : public Field {
public:
    ColourField(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key,
                FieldContext& context);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;

private:
    void pick();
    void show(const std::string& colour);

    QToolButton* m_swatch;
    QLineEdit* m_text;
    FieldContext& m_context;
};

// The colours of a list setting with swatches and names; "..." picks a colour, adding it to
// the list setting at once when it is new.
class ColourListField : public Field {
public:
    ColourListField(QWidget* panel, int row, std::string_view labelKey,
                    const settings::SettingKey& key, const settings::SettingKey& listKey,
                    FieldContext& context);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;

private:
    void pick();
    void addEntry(const std::string& colour);
    int entryOf(const std::string& colour) const;

    QComboBox* m_combo;
    const settings::SettingKey& m_listKey;
    FieldContext& m_context;
};

// The installed font names of `Fonts` in an editable list whose text is the font; "..." opens
// the font dialog, which also sets the size field and the style list.
class FontField : public Field {
public:
    FontField(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key,
              const settings::SettingKey& listKey, FieldContext& context);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;
    void setCompanions(NumberField* size, ListField* style);

private:
    void pick();

    QComboBox* m_combo;
    const settings::SettingKey& m_listKey;
    FieldContext& m_context;
    NumberField* m_size = nullptr;
    ListField* m_style = nullptr;
};

// A single-line text, stored without surrounding spaces, TABs and line breaks. With
// `pickImage` the field is 214 wide with a "..." button that chooses a watermark image.
class TextField : public Field {
public:
    TextField(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key,
              FieldContext* pickImage = nullptr);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;

private:
    void pick();

    QLineEdit* m_edit;
    FieldContext* m_context;
};

class DateField : public Field {
public:
    DateField(QWidget* panel, int row, std::string_view labelKey, const settings::SettingKey& key);
    void fill(const settings::Settings& settings) override;
    void store(settings::Settings& settings) const override;

private:
    QDateTimeEdit* m_edit;
    settings::Date m_filled = 0;
};

// The file filter of the watermark image picker.
QString watermarkImageFilter();

} // namespace kx::ui::prefs