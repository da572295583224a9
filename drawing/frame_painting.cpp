#include "drawing/frame_painting.h"

#include "drawing/canvas.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace kx::drawing {

namespace {

struct FrameWidths {
    int left, right, top, bottom;
};

// Widths are limited to the page so that absurd or negative settings give plain, bounded
// geometry; borders that together exceed the page still overlap as their widths say.
FrameWidths clampedWidths(const settings::Settings& settings, int width, int height) {
    return {std::clamp(settings.solidLeft, 0, width), std::clamp(settings.solidRight, 0, width),
            std::clamp(settings.solidTop, 0, height), std::clamp(settings.solidBottom, 0, height)};
}

QPainterPath trapezoid(QPointF a, QPointF b, QPointF c, QPointF d) {
    QPainterPath path(a);
    path.lineTo(b);
    path.lineTo(c);
    path.lineTo(d);
    path.closeSubpath();
    return path;
}

// The corner squares first, then the four mitred trapezoids over them. Antialiasing stays
// off so every pixel takes exactly one border colour and each corner is split along its
// diagonal: a pixel whose centre lies on the diagonal goes to the border drawn later.
void paintBorders(QImage& canvas, const FrameWidths& w, const settings::Settings& settings) {
    const int width = canvas.width();
    const int height = canvas.height();
    const QColor top = colorWithAlpha(settings.solidTopColor, 255);
    const QColor right = colorWithAlpha(settings.solidRightColor, 255);
    const QColor bottom = colorWithAlpha(settings.solidBottomColor, 255);
    const QColor left = colorWithAlpha(settings.solidLeftColor, 255);

    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRect(0, 0, w.left, w.top), top);
    painter.fillRect(QRect(width - w.right, 0, w.right, w.top), right);
    painter.fillRect(QRect(width - w.right, height - w.bottom, w.right, w.bottom), bottom);
    painter.fillRect(QRect(0, height - w.bottom, w.left, w.bottom), left);

    const double W = width, H = height, L = w.left, R = w.right, T = w.top, B = w.bottom;
    painter.fillPath(trapezoid({0, 0}, {W, 0}, {W - R, T}, {L, T}), top);
    painter.fillPath(trapezoid({W, 0}, {W, H}, {W - R, H - B}, {W - R, T}), right);
    painter.fillPath(trapezoid({W, H}, {0, H}, {L, H - B}, {W - R, H - B}), bottom);
    painter.fillPath(trapezoid({0, H}, {0, 0}, {L, T}, {L, H - B}), left);
}

} // namespace

QImage frameOverlay(int width, int height, const settings::Settings& settings) {
    QImage borders = transparentCanvas(width, height);
    if (borders.isNull())
        return {};
    paintBorders(borders, clampedWidths(settings, width, height), settings);
    return atOpacity(borders, settings.solidOpacity);
}

} // namespace kx::drawing
