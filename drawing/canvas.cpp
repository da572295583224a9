#include "drawing/canvas.h"

#include "base/text.h"
#include "engine/geometry.h"
#include "engine/overlay.h"
#include "imaging/bitmap.h"
#include "imaging/canvas_limits.h"

#include <QPainter>

namespace kx::drawing {

using imaging::Bitmap;

namespace {

// 96 dots per inch in dots per metre, rounded as Qt rounds it.
constexpr int k_canvasDotsPerMeter = 3780;

} // namespace

QImage transparentCanvas(int width, int height) {
    if (width <= 0 || height <= 0)
        return {};
    QImage canvas(width, height, QImage::Format_ARGB32);
    if (canvas.isNull())
        return {};
    canvas.setDotsPerMeterX(k_canvasDotsPerMeter);
    canvas.setDotsPerMeterY(k_canvasDotsPerMeter);
    canvas.fill(Qt::transparent);
    return canvas;
}

QImage atOpacity(const QImage& layer, int64_t opacity) {
    QImage canvas = transparentCanvas(layer.width(), layer.height());
    if (canvas.isNull())
        return {};
    QPainter painter(&canvas);
    painter.setOpacity(engine::clampOpacity(opacity) / 255.0);
    painter.drawImage(0, 0, layer);
    painter.end();
    return canvas;
}

QColor colorWithAlpha(std::string_view text, int64_t alpha) {
    const uint32_t rgb = base::parseColor(text);
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>((rgb >> 16) & 0xFF), engine::clampOpacity(alpha));
}

Bitmap toFreeImage(const QImage& image) {
    if (image.isNull())
        return nullptr;
    const QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    if (straight.isNull())
        return nullptr;
    const int width = straight.width();
    const int height = straight.height();
    Bitmap bitmap(FreeImage_Allocate(width, height, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                     FI_RGBA_BLUE_MASK));
    if (!bitmap)
        return nullptr;
    for (int y = 0; y < height; ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
        BYTE* target = FreeImage_GetScanLine(bitmap.get(), height - 1 - y);
        for (int x = 0; x < width; ++x, target += 4) {
            target[FI_RGBA_RED] = static_cast<BYTE>(qRed(source[x]));
            target[FI_RGBA_GREEN] = static_cast<BYTE>(qGreen(source[x]));
            target[FI_RGBA_BLUE] = static_cast<BYTE>(qBlue(source[x]));
            target[FI_RGBA_ALPHA] = static_cast<BYTE>(qAlpha(source[x]));
        }
    }
    return bitmap;
}

QImage toQImage(FIBITMAP* bitmap) {
    if (!bitmap || !FreeImage_HasPixels(bitmap))
        return {};
    const int width = static_cast<int>(FreeImage_GetWidth(bitmap));
    const int height = static_cast<int>(FreeImage_GetHeight(bitmap));
    if (!imaging::canvasSizeAllowed(width, height))
        return {};
    const Bitmap rgba(FreeImage_ConvertTo32Bits(bitmap));
    if (!rgba)
        return {};
    const bool alpha = FreeImage_IsTransparent(bitmap);
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        const BYTE* source = FreeImage_GetScanLine(rgba.get(), height - 1 - y);
        auto* target = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x, source += 4)
            target[x] = qRgba(source[FI_RGBA_RED], source[FI_RGBA_GREEN], source[FI_RGBA_BLUE],
                              alpha ? source[FI_RGBA_ALPHA] : 255);
    }
    return image;
}

} // namespace kx::drawing
