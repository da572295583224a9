#include "engine/geometry.h"

#include "base/available_memory.h"
#include "base/text.h"
#include "imaging/bitmap.h"
#include "imaging/page_transforms.h"
#include "imaging/standard_type.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

namespace kx::engine {

namespace {

// No real page has a row this long, and FreeImage computes row sizes in 32 bits.
constexpr double k_maxRowBytes = 1024.0 * 1024.0 * 1024.0;

// FreeImage rotates 24- and 32-bit standard bitmaps with a background colour.
bool rotatable(FIBITMAP* page) {
    const unsigned bpp = FreeImage_GetBPP(page);
    return FreeImage_GetImageType(page) == FIT_BITMAP && bpp > 16 && bpp <= 32;
}

RGBQUAD backgroundOf(const std::string& text) {
    const uint32_t colour = base::parseColor(text);
    RGBQUAD background{};
    background.rgbRed = static_cast<BYTE>(colour & 0xFF);
    background.rgbGreen = static_cast<BYTE>((colour >> 8) & 0xFF);
    background.rgbBlue = static_cast<BYTE>((colour >> 16) & 0xFF);
    background.rgbReserved = 0;
    return background;
}

// A page turned by a quarter keeps its physical size only when its horizontal and vertical
// resolutions turn with it (fax pages have different ones).
void swapResolution(FIBITMAP* page) {
    const unsigned x = FreeImage_GetDotsPerMeterX(page);
    FreeImage_SetDotsPerMeterX(page, FreeImage_GetDotsPerMeterY(page));
    FreeImage_SetDotsPerMeterY(page, x);
}

imaging::Bitmap rotateSimple(imaging::Bitmap page, int angle, const std::string& backColor) {
    const RGBQUAD background = backgroundOf(backColor);
    imaging::Bitmap turned =
        imaging::keepResolution(page.get(), FreeImage_Rotate(page.get(), angle, &background));
    if (turned && (angle == 90 || angle == 270))
        swapResolution(turned.get());
    return turned;
}

imaging::Bitmap rotateAboutCentre(imaging::Bitmap page, int angle, unsigned width,
                                  unsigned height) {
    imaging::Bitmap turned =
        imaging::keepResolution(page.get(), FreeImage_RotateEx(page.get(), angle, 0.0, 0.0,
                                                               width / 2.0, height / 2.0, FALSE));
    if (!turned || angle % 90 != 0)
        return turned;
    // Resampling shifts a quarter turn by a pixel; the exact turn replaces what it covers.
    imaging::Bitmap exact =
        imaging::keepResolution(page.get(), FreeImage_Rotate(page.get(), angle, nullptr));
    if (!exact)
        return turned;
    const int exactWidth = static_cast<int>(FreeImage_GetWidth(exact.get()));
    const int exactHeight = static_cast<int>(FreeImage_GetHeight(exact.get()));
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    if (exactWidth == w && exactHeight == h)
        return exact;
    const int cutLeft = std::max(0, (exactWidth - w) / 2);
    const int cutTop = std::max(0, (exactHeight - h) / 2);
    imaging::Bitmap middle(FreeImage_Copy(exact.get(), cutLeft, cutTop,
                                          cutLeft + std::min(w, exactWidth),
                                          cutTop + std::min(h, exactHeight)));
    if (middle)
        FreeImage_Paste(turned.get(), middle.get(), std::max(0, (w - exactWidth) / 2),
                        std::max(0, (h - exactHeight) / 2), 256);
    return turned;
}

FREE_IMAGE_FILTER filterOf(int algorithm) {
    switch (algorithm) {
    case settings::ResizeAlgorithm::Box:
        return FILTER_BOX;
    case settings::ResizeAlgorithm::Bilinear:
        return FILTER_BILINEAR;
    case settings::ResizeAlgorithm::BSpline:
        return FILTER_BSPLINE;
    case settings::ResizeAlgorithm::CatmullRom:
        return FILTER_CATMULLROM;
    case settings::ResizeAlgorithm::Lanczos:
        return FILTER_LANCZOS3;
    default:
        return FILTER_BICUBIC;
    }
}

int clampToInt(double value) {
    if (!(value >= 1.0))
        return 1;
    return value >= INT_MAX ? INT_MAX : static_cast<int>(value);
}

// The other side of a page whose longer side becomes `target`; at least one pixel.
int scaledSide(int target, float ratio) {
    return clampToInt(std::round(static_cast<double>(target) / static_cast<double>(ratio)));
}

std::pair<int, int> keepAspect(int width, int height, int targetWidth, int targetHeight) {
    if (width >= height) {
        const float ratio = static_cast<float>(width) / static_cast<float>(height);
        return {targetWidth, scaledSide(targetWidth, ratio)};
    }
    const float ratio = static_cast<float>(height) / static_cast<float>(width);
    return {scaledSide(targetHeight, ratio), targetHeight};
}

// Rescaling holds the result and an intermediate pass beside the page. An absurd size is
// refused before FreeImage tries it: the allocation would exhaust memory (the process is
// killed, not told) or take hours. Palette pages may widen to true colour, hence 4 bytes.
// Why rescaling `page` to newWidth x newHeight is refused, or empty.
std::string rescaleProblem(FIBITMAP* page, int newWidth, int newHeight) {
    const double bytesPerPixel = std::max(FreeImage_GetBPP(page), 32u) / 8.0;
    const double width = FreeImage_GetWidth(page);
    const double height = FreeImage_GetHeight(page);
    const std::string size = std::to_string(newWidth) + " x " + std::to_string(newHeight);
    if (newWidth * bytesPerPixel > k_maxRowBytes || newHeight * bytesPerPixel > k_maxRowBytes)
        return "the page cannot be resized to " + size + ": a side is longer than can be rescaled";
    const double result = static_cast<double>(newWidth) * newHeight;
    const double intermediate = std::max(newWidth * height, width * newHeight);
    const double needed = (result + intermediate) * bytesPerPixel;
    const double available = static_cast<double>(base::availableMemory());
    if (needed <= available)
        return {};
    constexpr double k_mebibyte = 1024.0 * 1024.0;
    return "resizing the page to " + size + " needs " +
           std::to_string(static_cast<uint64_t>(needed / k_mebibyte)) +
           " MB of memory, more than the " +
           std::to_string(static_cast<uint64_t>(available / k_mebibyte)) + " MB available";
}

// The size resizeImage brings `page` to; nullopt when it leaves the page as it is.
std::optional<std::pair<int, int>> resizedSize(FIBITMAP* page, const settings::Settings& settings) {
    if (!page || !settings.doImageResize)
        return std::nullopt;
    const int width = static_cast<int>(FreeImage_GetWidth(page));
    const int height = static_cast<int>(FreeImage_GetHeight(page));
    const int targetWidth = resolveSize(settings.imageWidth, settings.imageWidthUnit, width);
    const int targetHeight = resolveSize(settings.imageHeight, settings.imageHeightUnit, height);
    if (targetWidth <= 0 || targetHeight <= 0 || width <= 0 || height <= 0)
        return std::nullopt;
    if (targetWidth == width && targetHeight == height)
        return std::nullopt;
    const bool shrinkOnly = settings.imageResizeType == settings::ResizeType::LargeImages;
    if (shrinkOnly && width < targetWidth && height < targetHeight)
        return std::nullopt;
    auto [newWidth, newHeight] = settings.keepAspectRatio
                                     ? keepAspect(width, height, targetWidth, targetHeight)
                                     : std::pair{targetWidth, targetHeight};
    // "Large Images" never enlarges: each side comes down to its target and a smaller side is
    // kept; proportions that could only be kept by enlarging leave the page alone.
    if (shrinkOnly && !settings.keepAspectRatio) {
        newWidth = std::min(newWidth, width);
        newHeight = std::min(newHeight, height);
    }
    if (shrinkOnly &&
        (newWidth > width || newHeight > height || (newWidth == width && newHeight == height)))
        return std::nullopt;
    return std::pair{newWidth, newHeight};
}

} // namespace

imaging::Bitmap rotateImage(imaging::Bitmap page, const settings::Settings& settings) {
    if (!page || !rotationWanted(settings))
        return page;
    const unsigned width = FreeImage_GetWidth(page.get());
    const unsigned height = FreeImage_GetHeight(page.get());
    if (!rotatable(page.get()))
        page = imaging::convertPageTo24Bits(std::move(page));
    if (!page)
        return page;
    switch (settings.imageRotationType) {
    case settings::RotationType::Simple:
        return rotateSimple(std::move(page), settings.imageRotation,
                            settings.imageRotationBackColor);
    case settings::RotationType::Advanced:
        return rotateAboutCentre(std::move(page), settings.imageRotation, width, height);
    default:
        return page;
    }
}

imaging::Bitmap resizeImage(imaging::Bitmap page, const settings::Settings& settings) {
    const std::optional<std::pair<int, int>> size = resizedSize(page.get(), settings);
    if (!size)
        return page;
    const auto [newWidth, newHeight] = *size;
    if (!rescaleProblem(page.get(), newWidth, newHeight).empty())
        return nullptr;
    return imaging::keepResolution(page.get(),
                                   FreeImage_Rescale(page.get(), newWidth, newHeight,
                                                     filterOf(settings.imageResizeAlgorithm)));
}

std::string resizeProblem(FIBITMAP* page, const settings::Settings& settings) {
    const std::optional<std::pair<int, int>> size = resizedSize(page, settings);
    return size ? rescaleProblem(page, size->first, size->second) : std::string();
}

void flipImage(FIBITMAP* page, const settings::Settings& settings) {
    if (!page)
        return;
    if (settings.doImageFlipHorizontal)
        imaging::flipHorizontal(page);
    if (settings.doImageFlipVertical)
        imaging::flipVertical(page);
}

int resolveSize(int value, int unit, int current) {
    if (unit == settings::SizeUnit::Pixels)
        return value;
    if (unit != settings::SizeUnit::Percent)
        return 0;
    // Whole-number arithmetic, so 150.5 is exactly a tie and rounds to 150.
    const int64_t product = static_cast<int64_t>(value) * current;
    int64_t quotient = product / 100;
    const int64_t twiceRemainder = 2 * (product % 100 < 0 ? -(product % 100) : product % 100);
    if (twiceRemainder > 100 || (twiceRemainder == 100 && quotient % 2 != 0))
        quotient += product < 0 ? -1 : 1;
    return static_cast<int>(std::clamp<int64_t>(quotient, INT_MIN, INT_MAX));
}

} // namespace kx::engine
