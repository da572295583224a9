#pragma once

#include <QDoubleSpinBox>
#include <QSpinBox>

class QSlider;

namespace kx::ui::prefs {

// An integer box that takes any typed text: the text's leading integer, clamped to the range,
// replaces it at once ("300" becomes "255" in a 0..255 box). An empty text or a lone sign is
// left alone so that a negative number can be typed.
class NumberBox : public QSpinBox {
public:
    NumberBox(QWidget* parent, int min, int max);

protected:
    QValidator::State validate(QString& text, int& position) const override;
    int valueFromText(const QString& text) const override;

private:
    void takeTypedText(const QString& text);
};

// Gamma with two decimals over 0.01..9.99. Typed text follows the slider as it is typed and is
// shown again with two decimals, clamped, once editing ends.
class GammaBox : public QDoubleSpinBox {
public:
    explicit GammaBox(QWidget* parent);
    int count() const;

protected:
    QValidator::State validate(QString& text, int& position) const override;
    double valueFromText(const QString& text) const override;
    QString textFromValue(double value) const override;

private:
    void finishTyping();
};

// A slider and its number box kept in step; the slider shows the box's value plus `offset`
// (or, for gamma, the value in hundredths).
class SliderPair {
public:
    SliderPair(QWidget* panel, int y, int min, int max, int offset);
    // The gamma pair: slider 1..999, box with two decimals.
    SliderPair(QWidget* panel, int y);

    QSlider* slider() const { return m_slider; }
    QAbstractSpinBox* box() const { return m_box; }
    int value() const;        // the box's value (gamma: its count in hundredths)
    void setValue(int value); // clamped to the range

private:
    QSlider* m_slider;
    QAbstractSpinBox* m_box;
    NumberBox* m_numberBox = nullptr;
    GammaBox* m_gammaBox = nullptr;
    int m_offset = 0;
};

} // namespace kx::ui::prefs