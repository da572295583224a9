#include "engine/watermark.h"

#include "decoder/decode_diagnostics.h"
#include "engine/naming.h"
#include "engine/overlay.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

namespace kx::engine {

namespace {

constexpr std::string_view k_lineBreak = "%eol%";

// Beyond this no glyph fits the largest canvas; such sizes are refused up front.
constexpr int k_maxFontPointSize = 24000;

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

WatermarkProblem checkImageFile(const std::string& path) {
    if (path.empty())
        return WatermarkProblem::EmptyImage;
    std::error_code error;
    const std::filesystem::path file(path);
    if (!std::filesystem::is_regular_file(file, error))
        return WatermarkProblem::InvalidImage;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size == 0)
        return WatermarkProblem::InvalidImage;
    return WatermarkProblem::None;
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
    case 1:
        return std::llround(static_cast<double>(boxWidth - lineWidth) / 2.0);
    case 2:
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

QImage textWatermark(const settings::Settings& settings, const JobState& job,
                     const PreparedWatermark& prepared) {
    if (!prepared.font || !hasGuiApplication())
        return {};
    const bool vector = settings.textAntialiasing != 0;
    const QFont font = drawingFont(*prepared.font, vector);
    const std::optional<TextLayout> layout =
        layoutText(watermarkText(settings, job), font, settings, vector);
    if (!layout)
        return {};
    return vector ? vectorText(*layout, font, settings) : rasterText(*layout, font, settings);
}

// ---- Image watermark ------------------------------------------------------------------

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

QImage imageWatermark(const settings::Settings& settings, const PreparedWatermark& prepared) {
    QImage image = prepared.image;
    if (image.isNull() || !canvasSizeAllowed(image.width(), image.height()))
        return {};
    // Images with an alpha channel keep their transparent parts; others lie on black, so
    // their opacity darkens them.
    const bool transparent = image.hasAlphaChannel();
    image = image.convertToFormat(QImage::Format_ARGB32);
    QImage canvas = transparentCanvas(image.width(), image.height());
    if (image.isNull() || canvas.isNull())
        return {};
    if (!transparent)
        canvas.fill(QColor(0, 0, 0, 255));
    if (settings.imageGreyscale)
        toGrey(image);
    QPainter painter(&canvas);
    painter.setOpacity(clampOpacity(settings.imageOpacity) / 255.0);
    painter.drawImage(0, 0, image);
    painter.end();
    return canvas;
}

// ---- Placing ----------------------------------------------------------------------------

struct Placement {
    int boundary, position, rotation;
    int64_t xOffset, yOffset;
};

Placement placementOf(const settings::Settings& settings) {
    if (settings.doWatermark == 1)
        return {settings.textBoundary, settings.textPosition, settings.textRotation,
                settings.textXOffset, settings.textYOffset};
    return {settings.imageBoundary, settings.imagePosition, settings.watermarkImageRotation,
            settings.imageXOffset, settings.imageYOffset};
}

// Turns the watermark counter-clockwise on a canvas grown to hold it, with transparent
// corners. A turn whose canvas would exceed the limits drops the watermark.
Bitmap rotated(Bitmap watermark, int angle) {
    if (angle <= 0 || angle >= 360)
        return watermark;
    const double radians = angle * std::numbers::pi / 180.0;
    const double w = FreeImage_GetWidth(watermark.get());
    const double h = FreeImage_GetHeight(watermark.get());
    const double c = std::abs(std::cos(radians)), s = std::abs(std::sin(radians));
    if (!canvasSizeAllowed(static_cast<int64_t>(std::ceil(w * c + h * s)) + 2,
                           static_cast<int64_t>(std::ceil(w * s + h * c)) + 2))
        return nullptr;
    return Bitmap(FreeImage_Rotate(watermark.get(), angle, nullptr));
}

struct Area {
    int64_t x = 0, y = 0, width = 0, height = 0;
};

Area placementArea(const settings::Settings& settings, int boundary, int64_t width,
                   int64_t height) {
    if (settings.doFrame != 1 || boundary != 1)
        return {0, 0, width, height};
    const int64_t left = std::clamp<int64_t>(settings.solidLeft, 0, width);
    const int64_t right = std::clamp<int64_t>(settings.solidRight, 0, width);
    const int64_t top = std::clamp<int64_t>(settings.solidTop, 0, height);
    const int64_t bottom = std::clamp<int64_t>(settings.solidBottom, 0, height);
    return {left, top, width - left - right, height - top - bottom};
}

// Cuts off what would reach past the area's right or bottom edge at the given offsets.
// Null when the offsets leave no room at all.
Bitmap croppedToArea(Bitmap watermark, const Area& area, const Placement& place) {
    const int64_t w = FreeImage_GetWidth(watermark.get());
    const int64_t h = FreeImage_GetHeight(watermark.get());
    if (w + place.xOffset <= area.width && h + place.yOffset <= area.height)
        return watermark;
    const int64_t right = w + place.xOffset > area.width ? area.width - place.xOffset : w;
    const int64_t bottom = h + place.yOffset > area.height ? area.height - place.yOffset : h;
    if (right <= 0 || bottom <= 0)
        return nullptr;
    return Bitmap(
        FreeImage_Copy(watermark.get(), 0, 0, static_cast<int>(right), static_cast<int>(bottom)));
}

// Top-left corner of the watermark on the page. Centred coordinates ignore the offset.
std::pair<int64_t, int64_t> positionOnPage(const Area& area, const Placement& place, int64_t w,
                                           int64_t h) {
    if (place.position < 0 || place.position > 8)
        return {area.x, area.y};
    const int column = place.position % 3;
    const int row = place.position / 3;
    const int64_t x = column == 0   ? place.xOffset
                      : column == 1 ? (area.width - w) / 2
                                    : area.width - w - place.xOffset;
    const int64_t y = row == 0   ? place.yOffset
                      : row == 1 ? (area.height - h) / 2
                                 : area.height - h - place.yOffset;
    return {area.x + x, area.y + y};
}

// Composites the part of the watermark that lies on the page over the page in place. Only
// that rectangle of the page is touched, which gives the same pixels as a page-size
// transparent layer.
void compositeAt(FIBITMAP* page, FIBITMAP* watermark, int64_t x, int64_t y) {
    const int64_t pageWidth = FreeImage_GetWidth(page);
    const int64_t pageHeight = FreeImage_GetHeight(page);
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(x + FreeImage_GetWidth(watermark), pageWidth);
    const int64_t bottom = std::min<int64_t>(y + FreeImage_GetHeight(watermark), pageHeight);
    if (left >= right || top >= bottom)
        return;
    const Bitmap visible(FreeImage_Copy(watermark, static_cast<int>(left - x),
                                        static_cast<int>(top - y), static_cast<int>(right - x),
                                        static_cast<int>(bottom - y)));
    const Bitmap region(FreeImage_Copy(page, static_cast<int>(left), static_cast<int>(top),
                                       static_cast<int>(right), static_cast<int>(bottom)));
    if (!visible || !region)
        return;
    const Bitmap composed(FreeImage_Composite(visible.get(), FALSE, nullptr, region.get()));
    if (composed)
        FreeImage_Paste(page, composed.get(), static_cast<int>(left), static_cast<int>(top), 256);
}

void placeWatermark(FIBITMAP* page, Bitmap watermark, const settings::Settings& settings) {
    const Placement place = placementOf(settings);
    watermark = rotated(std::move(watermark), place.rotation);
    if (!watermark)
        return;
    const Area area = placementArea(settings, place.boundary, FreeImage_GetWidth(page),
                                    FreeImage_GetHeight(page));
    if (area.width <= 0 || area.height <= 0)
        return;
    // Offsets that leave no room drop the watermark; the page itself is kept.
    watermark = croppedToArea(std::move(watermark), area, place);
    if (!watermark)
        return;
    const auto [x, y] = positionOnPage(area, place, FreeImage_GetWidth(watermark.get()),
                                       FreeImage_GetHeight(watermark.get()));
    compositeAt(page, watermark.get(), x, y);
}

} // namespace

WatermarkProblem prepareWatermark(const settings::Settings& settings, PreparedWatermark& out,
                                  const std::string& decoderPath) {
    out.font.reset();
    out.image = QImage();
    if (settings.doWatermark == 2) {
        if (const WatermarkProblem problem = checkImageFile(settings.image);
            problem != WatermarkProblem::None)
            return problem;
        // A file that is not an image at all would otherwise pass and silently draw nothing.
        std::string why;
        const Bitmap decoded = decodeImageContained(settings.image, why, decoderPath);
        out.image = toQImage(decoded.get());
        return out.image.isNull() ? WatermarkProblem::InvalidImage : WatermarkProblem::None;
    }
    if (settings.doWatermark != 1)
        return WatermarkProblem::None;
    if (!hasGuiApplication() || settings.fontSize <= 0 || settings.fontSize > k_maxFontPointSize ||
        !fontCanBeLoaded(settings.font))
        return WatermarkProblem::InvalidFont;
    QFont font(QString::fromStdString(settings.font));
    font.setPointSize(settings.fontSize);
    font.setBold(settings.fontStyle == 1 || settings.fontStyle == 3);
    font.setItalic(settings.fontStyle == 2 || settings.fontStyle == 3);
    font.setUnderline(settings.fontEffect == 1);
    font.setStrikeOut(settings.fontEffect == 2);
    out.font = font;
    return WatermarkProblem::None;
}

bool fontCanBeLoaded(const std::string& family) {
    if (family.empty() || !hasGuiApplication())
        return false;
    const QString name = QString::fromStdString(family);
    const QString resolved = resolvedFamily(name);
    return resolved.compare(name, Qt::CaseInsensitive) == 0 ||
           resolved != resolvedFamily(QString::fromLatin1(k_impossibleFamily));
}

std::string watermarkText(const settings::Settings& settings, const JobState& job) {
    std::string text = settings.text;
    if (std::count(text.begin(), text.end(), '%') < 2)
        return text;
    for (const std::string_view token : maskTokens()) {
        if (lowered(text).find(token) != std::string::npos)
            text = replaceMaskToken(std::move(text), token, job);
    }
    return text;
}

Bitmap drawWatermark(Bitmap page, const settings::Settings& settings, const JobState& job,
                     const PreparedWatermark& prepared) {
    if (!page || (settings.doWatermark != 1 && settings.doWatermark != 2))
        return page;
    page = pageTo24Bits(std::move(page));
    if (!isDrawable24Bits(page.get()))
        return page;
    const QImage canvas = settings.doWatermark == 1 ? textWatermark(settings, job, prepared)
                                                    : imageWatermark(settings, prepared);
    Bitmap watermark = toFreeImage(canvas);
    if (watermark)
        placeWatermark(page.get(), std::move(watermark), settings);
    return page;
}

} // namespace kx::engine
