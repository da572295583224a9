#include "ui/preferences/preferences_slider_pair.h"

#include "base/number_text.h"
#include "base/text.h"
#include "ui/preferences/preferences_values.h"

#include <QLineEdit>
#include <QLocale>
#include <QSlider>

#include <algorithm>

namespace kx::ui::prefs {

namespace {

constexpr int k_sliderX = 170;
constexpr int k_sliderWidth = 170;
constexpr int k_boxX = 340;
constexpr int k_boxWidth = 70;
constexpr int k_height = 20;
constexpr int k_gammaMin = 1;
constexpr int k_gammaMax = 999;

QSlider* makeSlider(QWidget* panel, int y, int min, int max) {
    auto* slider = new QSlider(Qt::Horizontal, panel);
    slider->setGeometry(k_sliderX, y, k_sliderWidth, k_height);
    slider->setRange(min, max);
    return slider;
}

} // namespace

NumberBox::NumberBox(QWidget* parent, int min, int max) : QSpinBox(parent) {
    setRange(min, max);
    setLocale(QLocale::c());
    connect(lineEdit(), &QLineEdit::textEdited, this, &NumberBox::takeTypedText);
}

QValidator::State NumberBox::validate(QString& text, int&) const {
    return isPartialNumber(text.toStdString()) ? QValidator::Intermediate : QValidator::Acceptable;
}

int NumberBox::valueFromText(const QString& text) const {
    return std::clamp(leadingInteger(text.toStdString()), minimum(), maximum());
}

void NumberBox::takeTypedText(const QString& text) {
    if (isPartialNumber(text.toStdString()))
        return;
    const int value = valueFromText(text);
    const QString shown = QString::number(value);
    if (text != shown)
        lineEdit()->setText(shown);
    setValue(value);
}

GammaBox::GammaBox(QWidget* parent) : QDoubleSpinBox(parent) {
    setLocale(QLocale::c());
    setDecimals(2);
    setRange(k_gammaMin / 100.0, k_gammaMax / 100.0);
    setSingleStep(0.01);
    connect(this, &QAbstractSpinBox::editingFinished, this, &GammaBox::finishTyping);
}

int GammaBox::count() const {
    return gammaCount(value());
}

QValidator::State GammaBox::validate(QString& text, int&) const {
    const std::string typed = text.toStdString();
    return base::readDouble(base::trimmed(typed)).length == 0 ? QValidator::Intermediate
                                                              : QValidator::Acceptable;
}

double GammaBox::valueFromText(const QString& text) const {
    return gammaCountOfText(text.toStdString()) / 100.0;
}

QString GammaBox::textFromValue(double value) const {
    return QString::fromStdString(gammaText(gammaCount(value)));
}

void GammaBox::finishTyping() {
    const int typed = gammaCountOfText(lineEdit()->text().toStdString());
    setValue(typed / 100.0);
    lineEdit()->setText(QString::fromStdString(gammaText(typed)));
}

SliderPair::SliderPair(QWidget* panel, int y, int min, int max, int offset)
    : m_slider(makeSlider(panel, y, min + offset, max + offset)), m_offset(offset) {
    m_numberBox = new NumberBox(panel, min, max);
    m_box = m_numberBox;
    m_box->setGeometry(k_boxX, y, k_boxWidth, k_height);
    QObject::connect(m_slider, &QSlider::valueChanged, m_numberBox, [this](int position) {
        if (m_numberBox->value() != position - m_offset)
            m_numberBox->setValue(position - m_offset);
    });
    QObject::connect(m_numberBox, &QSpinBox::valueChanged, m_slider, [this](int value) {
        if (m_slider->value() != value + m_offset)
            m_slider->setValue(value + m_offset);
    });
}

SliderPair::SliderPair(QWidget* panel, int y)
    : m_slider(makeSlider(panel, y, k_gammaMin, k_gammaMax)) {
    m_gammaBox = new GammaBox(panel);
    m_box = m_gammaBox;
    m_box->setGeometry(k_boxX, y, k_boxWidth, k_height);
    QObject::connect(m_slider, &QSlider::valueChanged, m_gammaBox, [this](int position) {
        if (m_gammaBox->count() != position)
            m_gammaBox->setValue(position / 100.0);
    });
    QObject::connect(m_gammaBox, &QDoubleSpinBox::valueChanged, m_slider, [this](double value) {
        if (m_slider->value() != gammaCount(value))
            m_slider->setValue(gammaCount(value));
    });
}

int SliderPair::value() const {
    return m_gammaBox ? m_gammaBox->count() : m_numberBox->value();
}

void SliderPair::setValue(int value) {
    if (m_gammaBox) {
        m_gammaBox->setValue(std::clamp(value, k_gammaMin, k_gammaMax) / 100.0);
        m_slider->setValue(m_gammaBox->count());
        return;
    }
    const int clamped = std::clamp(value, m_numberBox->minimum(), m_numberBox->maximum());
    m_numberBox->setValue(clamped);
    m_slider->setValue(clamped + m_offset);
}

} // namespace kx::ui::prefs