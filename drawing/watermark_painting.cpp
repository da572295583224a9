#include "drawing/watermark_painting.h"

#include "drawing/canvas.h"
#include "engine/overlay.h"
#include "imaging/canvas_limits.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kx::drawing {

using engine::clampOpacity;
using imaging::canvasSizeAllowed;

namespace {

constexpr std::string_view k_lineBreak = "%eol%";

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

// A family name no installed face or alias can answer to: what it resolves to is the face
// the font database falls back on.
constexpr const char* k_impossibleFamily = "kx-no-such-family-7c1e5a3b";

bool hasGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

QString resolvedFamily(const QString& family) {
    return QFontInfo(QFont(family)).family();
}

// ---- Text watermark -------------------------------------------------------------------

// The text split at every line-break token, matched without regard to case.
std::vector<QString> splitLines(const std::string& text) {
    const std::string lower = lowered(text);
    std::vector<QString> lines;
    std::size_t start = 0;
    for (std::size_t found = lower.find(k_lineBreak); found != std::string::npos;
         found = lower.find(k_lineBreak, start)) {
        lines.push_back(QString::fromStdString(text.substr(start, found - start)));
        start = found + k_lineBreak.size();
    }
    lines.push_back(QString::fromStdString(text.substr(start)));
    return lines;
}

struct TextLayout {
    int64_t width = 0;
    int64_t height = 0;
    std::vector<QString> lines;
    std::vector<QPointF> origins; // top-left corner of each line
};

std::vector<int64_t> lineWidths(const std::vector<QString>& lines, const QFont& font,
                                QPaintDevice* device, bool vector) {
    const QFontMetrics metrics(font, device);
    const QFontMetricsF vectorMetrics(font, device);
    std::vector<int64_t> widths;
    for (const QString& line : lines)
        widths.push_back(vector ? std::llround(vectorMetrics.horizontalAdvance(line))
                                : metrics.horizontalAdvance(line));
    return widths;
}

int64_t lineLeft(int64_t boxWidth, int64_t lineWidth, int64_t padding, int alignment) {
    switch (alignment) {
    case settings::TextAlignment::Center:
        return std::llround(static_cast<double>(boxWidth - lineWidth) / 2.0);
    case settings::TextAlignment::Right:
        return boxWidth - lineWidth - padding;
    default:
        return padding;
    }
}

// Box size and line positions; nullopt when the box is empty or too large to draw.
std::optional<TextLayout> layoutText(const std::string& text, const QFont& font,
                                     const settings::Settings& settings, bool vector) {
    QImage scratch = transparentCanvas(10, 10);
    const QFontMetrics metrics(font, &scratch);
    TextLayout layout;
    layout.lines = splitLines(text);
    const int64_t breaks = static_cast<int64_t>(layout.lines.size()) - 1;
    const int64_t padding = settings.textPadding;
    const std::vector<int64_t> measured = lineWidths(layout.lines, font, &scratch, false);
    int64_t lineStep = 0;
    if (breaks > 0) {
        const int64_t lineHeight = std::max<int64_t>(metrics.height(), 10);
        lineStep = lineHeight + settings.fontLeading;
        layout.width = std::max<int64_t>(*std::max_element(measured.begin(), measured.end()), 10);
        layout.height = lineHeight + breaks * lineStep;
    } else {
        layout.width = measured.front();
        layout.height = metrics.height();
    }
    layout.width += 2 * padding;
    layout.height += 2 * padding;
    if (!canvasSizeAllowed(layout.width, layout.height))
        return std::nullopt;

    const std::vector<int64_t> widths =
        vector ? lineWidths(layout.lines, font, &scratch, true) : measured;
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        const int64_t left =
            breaks > 0 ? lineLeft(layout.width, widths[i], padding, settings.textAlignment)
                       : padding;
        const int64_t top = padding + static_cast<int64_t>(i) * lineStep;
        layout.origins.emplace_back(static_cast<double>(left), static_cast<double>(top));
    }
    return layout;
}

void drawLines(QPainter& painter, const TextLayout& layout) {
    const qreal ascent = painter.fontMetrics().ascent();
    for (std::size_t i = 0; i < layout.lines.size(); ++i)
        painter.drawText(layout.origins[i] + QPointF(0, ascent), layout.lines[i]);
}

QFont drawingFont(const QFont& prepared, bool antialiased) {
    QFont font = prepared;
    font.setStyleStrategy(antialiased ? QFont::PreferAntialias : QFont::NoAntialias);
    return font;
}

// Aliased text on a box filled with the background; all four channels of both colours are
// stored as they are, so the text's own opacity replaces the background's under it.
QImage rasterText(const TextLayout& layout, const QFont& font, const settings::Settings& s) {
    QImage canvas =
        transparentCanvas(static_cast<int>(layout.width), static_cast<int>(layout.height));
    if (canvas.isNull())
        return {};
    canvas.fill(colorWithAlpha(s.backColor, s.backOpacity));
    QPainter painter(&canvas);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(font);
    painter.setPen(colorWithAlpha(s.fontColor, s.textOpacity));
    drawLines(painter, layout);
    return canvas;
}

// Antialiased text and its opaque background drawn apart, then each laid on the watermark
// at its own opacity.
QImage vectorText(const TextLayout& layout, const QFont& font, const settings::Settings& s) {
    const int width = static_cast<int>(layout.width);
    const int height = static_cast<int>(layout.height);
    QImage background = transparentCanvas(width, height);
    QImage text = transparentCanvas(width, height);
    QImage watermark = transparentCanvas(width, height);
    if (background.isNull() || text.isNull() || watermark.isNull())
        return {};
    background.fill(colorWithAlpha(s.backColor, 255));
    QPainter textPainter(&text);
    textPainter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    textPainter.setFont(font);
    textPainter.setPen(colorWithAlpha(s.fontColor, 255));
    drawLines(textPainter, layout);
    textPainter.end();

    QPainter painter(&watermark);
    painter.setOpacity(clampOpacity(s.backOpacity) / 255.0);
    painter.drawImage(0, 0, background);
    painter.setOpacity(clampOpacity(s.textOpacity) / 255.0);
    painter.drawImage(0, 0, text);
    painter.end();
    return watermark;
}

} // namespace

QImage textWatermark(const std::string& text, const QFont& prepared,
                     const settings::Settings& settings) {
    if (!hasGuiApplication())
        return {};
    const bool vector = settings.textAntialiasing != 0;
    const QFont font = drawingFont(prepared, vector);
    const std::optional<TextLayout> layout = layoutText(text, font, settings, vector);
    if (!layout)
        return {};
    return vector ? vectorText(*layout, font, settings) : rasterText(*layout, font, settings);
}

// ---- Image watermark ------------------------------------------------------------------

namespace {

void toGrey(QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = row[x];
            const int grey = (77 * qRed(p) + 150 * qGreen(p) + 29 * qBlue(p)) >> 8;
            row[x] = qRgba(grey, grey, grey, qAlpha(p));
        }
    }
}

} // namespace

QImage imageWatermark(const QImage& prepared, const settings::Settings& settings) {
    QImage image = prepared;
    if (image.isNull() || !canvasSizeAllowed(image.width(), image.height()))
        return {};
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    if (settings.imageGreyscale)
        toGrey(image);
    // Like the frame, the image is faded on a transparent canvas: the page shows through it.
    return atOpacity(image, settings.imageOpacity);
}

std::optional<QFont> watermarkFont(const settings::Settings& settings) {
    if (!hasGuiApplication())
        return std::nullopt;
    QFont font(QString::fromStdString(settings.font));
    font.setPointSize(settings.fontSize);
    font.setBold(settings.fontStyle == settings::FontStyle::Bold ||
                 settings.fontStyle == settings::FontStyle::BoldItalic);
    font.setItalic(settings.fontStyle == settings::FontStyle::Italic ||
                   settings.fontStyle == settings::FontStyle::BoldItalic);
    font.setUnderline(settings.fontEffect == settings::FontEffect::Underline);
    font.setStrikeOut(settings.fontEffect == settings::FontEffect::Strikethrough);
    return font;
}

bool fontAvailable(const std::string& family) {
    if (family.empty() || !hasGuiApplication())
        return false;
    const QString name = QString::fromStdString(family);
    const QString resolved = resolvedFamily(name);
    return resolved.compare(name, Qt::CaseInsensitive) == 0 ||
           resolved != resolvedFamily(QString::fromLatin1(k_impossibleFamily));
}

} // namespace kx::drawing
