#include "engine/watermark.h"

#include "decoder/client/contained_decoder.h"
#include "engine/drawing_module.h"
#include "engine/naming.h"
#include "engine/overlay.h"
#include "imaging/bitmap.h"
#include "imaging/canvas_limits.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

namespace kx::engine {

namespace {

// Beyond this no glyph fits the largest canvas; such sizes are refused up front.
constexpr int k_maxFontPointSize = 24000;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
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

// ---- Placing ----------------------------------------------------------------------------

struct Placement {
    int boundary, position, rotation;
    int64_t xOffset, yOffset;
};

Placement placementOf(const settings::Settings& settings) {
    if (settings.doWatermark == settings::WatermarkType::Text)
        return {settings.textBoundary, settings.textPosition, settings.textRotation,
                settings.textXOffset, settings.textYOffset};
    return {settings.imageBoundary, settings.imagePosition, settings.watermarkImageRotation,
            settings.imageXOffset, settings.imageYOffset};
}

// Turns the watermark counter-clockwise on a canvas grown to hold it, with transparent
// corners. A turn whose canvas would exceed the limits drops the watermark.
imaging::Bitmap rotated(imaging::Bitmap watermark, int angle) {
    if (angle <= 0 || angle >= 360)
        return watermark;
    const double radians = angle * std::numbers::pi / 180.0;
    const double w = FreeImage_GetWidth(watermark.get());
    const double h = FreeImage_GetHeight(watermark.get());
    const double c = std::abs(std::cos(radians)), s = std::abs(std::sin(radians));
    if (!imaging::canvasSizeAllowed(static_cast<int64_t>(std::ceil(w * c + h * s)) + 2,
                                    static_cast<int64_t>(std::ceil(w * s + h * c)) + 2))
        return nullptr;
    return imaging::Bitmap(FreeImage_Rotate(watermark.get(), angle, nullptr));
}

struct Area {
    int64_t x = 0, y = 0, width = 0, height = 0;
};

Area placementArea(const settings::Settings& settings, int boundary, int64_t width,
                   int64_t height) {
    if (settings.doFrame != settings::FrameType::Solid || boundary != settings::Boundary::Frame)
        return {0, 0, width, height};
    const int64_t left = std::clamp<int64_t>(settings.solidLeft, 0, width);
    const int64_t right = std::clamp<int64_t>(settings.solidRight, 0, width);
    const int64_t top = std::clamp<int64_t>(settings.solidTop, 0, height);
    const int64_t bottom = std::clamp<int64_t>(settings.solidBottom, 0, height);
    return {left, top, width - left - right, height - top - bottom};
}

// Cuts off what would reach past the area's right or bottom edge at the given offsets.
// Null when the offsets leave no room at all.
imaging::Bitmap croppedToArea(imaging::Bitmap watermark, const Area& area, const Placement& place) {
    const int64_t w = FreeImage_GetWidth(watermark.get());
    const int64_t h = FreeImage_GetHeight(watermark.get());
    if (w + place.xOffset <= area.width && h + place.yOffset <= area.height)
        return watermark;
    const int64_t right = w + place.xOffset > area.width ? area.width - place.xOffset : w;
    const int64_t bottom = h + place.yOffset > area.height ? area.height - place.yOffset : h;
    if (right <= 0 || bottom <= 0)
        return nullptr;
    return imaging::Bitmap(
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
    const imaging::Bitmap visible(
        FreeImage_Copy(watermark, static_cast<int>(left - x), static_cast<int>(top - y),
                       static_cast<int>(right - x), static_cast<int>(bottom - y)));
    const imaging::Bitmap region(FreeImage_Copy(page, static_cast<int>(left), static_cast<int>(top),
                                                static_cast<int>(right), static_cast<int>(bottom)));
    if (!visible || !region)
        return;
    const imaging::Bitmap composed(
        FreeImage_Composite(visible.get(), FALSE, nullptr, region.get()));
    if (composed)
        FreeImage_Paste(page, composed.get(), static_cast<int>(left), static_cast<int>(top), 256);
}

void placeWatermark(FIBITMAP* page, imaging::Bitmap watermark, const settings::Settings& settings) {
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
    out.image.reset();
    out.problem.clear();
    if (settings.doWatermark != settings::WatermarkType::Text &&
        settings.doWatermark != settings::WatermarkType::Image)
        return WatermarkProblem::None;
    const DrawingFunctions* drawing = drawingFunctions();
    if (settings.doWatermark == settings::WatermarkType::Image) {
        if (const WatermarkProblem problem = checkImageFile(settings.image);
            problem != WatermarkProblem::None) {
            out.problem = settings.image + " is empty or not a regular file";
            return problem;
        }
        // A file that is not an image at all would otherwise pass and silently draw nothing.
        imaging::Bitmap decoded =
            decoder::decodeImageContained(settings.image, out.problem, decoderPath);
        if (!decoded)
            return WatermarkProblem::InvalidImage;
        if (drawing)
            out.image =
                std::shared_ptr<void>(drawing->loadImage(decoded.get()), drawing->releaseImage);
        if (!out.image)
            out.problem = "the image cannot be prepared for drawing";
        return out.image ? WatermarkProblem::None : WatermarkProblem::InvalidImage;
    }
    if (!drawing || settings.fontSize <= 0 || settings.fontSize > k_maxFontPointSize ||
        !fontCanBeLoaded(settings.font))
        return WatermarkProblem::InvalidFont;
    out.font = std::shared_ptr<void>(drawing->loadFont(&settings), drawing->releaseFont);
    return out.font ? WatermarkProblem::None : WatermarkProblem::InvalidFont;
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

imaging::Bitmap drawWatermark(imaging::Bitmap page, const settings::Settings& settings,
                              const JobState& job, const PreparedWatermark& prepared) {
    if (!page || (settings.doWatermark != settings::WatermarkType::Text &&
                  settings.doWatermark != settings::WatermarkType::Image))
        return page;
    page = pageTo24Bits(std::move(page));
    if (!isDrawable24Bits(page.get()))
        return page;
    // Without the drawing module the page cannot be what was asked for: it fails rather
    // than being saved without its watermark.
    const DrawingFunctions* drawing = drawingFunctions();
    if (!drawing)
        return nullptr;
    imaging::Bitmap watermark;
    if (settings.doWatermark == settings::WatermarkType::Text && prepared.font)
        watermark.reset(drawing->paintText(prepared.font.get(),
                                           watermarkText(settings, job).c_str(), &settings));
    else if (settings.doWatermark == settings::WatermarkType::Image && prepared.image)
        watermark.reset(drawing->paintImage(prepared.image.get(), &settings));
    if (watermark)
        placeWatermark(page.get(), std::move(watermark), settings);
    return page;
}

} // namespace kx::engine
