#include "engine/color_adjust.h"

#include "imaging/bitmap.h"
#include "imaging/standard_type.h"

#include <algorithm>
#include <cmath>

namespace kx::engine {

namespace {

// FreeImage adjusts the colours of 8-, 24- and 32-bit standard bitmaps only.
bool adjustable(FIBITMAP* page) {
    const unsigned bpp = FreeImage_GetBPP(page);
    return FreeImage_GetImageType(page) == FIT_BITMAP && (bpp == 8 || bpp == 24 || bpp == 32);
}

// Threshold and dither work from 4 bits upwards; below that and above 32 they need 24 bits.
imaging::Bitmap prepareForBilevel(imaging::Bitmap page) {
    const unsigned bpp = FreeImage_GetBPP(page.get());
    if (bpp < 4 || bpp > 32)
        return imaging::convertPageTo24Bits(std::move(page));
    return page;
}

FREE_IMAGE_DITHER ditherOf(int algorithm) {
    // The setting lists the Bayer matrices together; FreeImage numbers the 16x16 one last.
    switch (algorithm) {
    case settings::DitherAlgorithm::Bayer4:
        return FID_BAYER4x4;
    case settings::DitherAlgorithm::Bayer8:
        return FID_BAYER8x8;
    case settings::DitherAlgorithm::Bayer16:
        return FID_BAYER16x16;
    case settings::DitherAlgorithm::Cluster6:
        return FID_CLUSTER6x6;
    case settings::DitherAlgorithm::Cluster8:
        return FID_CLUSTER8x8;
    case settings::DitherAlgorithm::Cluster16:
        return FID_CLUSTER16x16;
    default:
        return FID_FS;
    }
}

// A gamma of zero, below or not a number would divide by zero in the lookup table; 1.0
// leaves the gamma alone.
double usableGamma(float gamma) {
    return std::isfinite(gamma) && gamma > 0 ? gamma : 1.0;
}

} // namespace

imaging::Bitmap adjustImageColors(imaging::Bitmap page, const settings::Settings& settings) {
    if (!page || !settings.doImageColorCorrection)
        return page;
    if (!adjustable(page.get()))
        page = imaging::convertPageTo24Bits(std::move(page));
    if (!page)
        return page;
    FreeImage_AdjustColors(page.get(), settings.imageBrightness, settings.imageContrast,
                           usableGamma(settings.imageGamma), settings.imageInvert ? TRUE : FALSE);
    return page;
}

imaging::Bitmap greyscaleImage(imaging::Bitmap page, const settings::Settings& settings) {
    if (!page || !settings.doImageGreyscale)
        return page;
    if (FreeImage_GetBPP(page.get()) > 32)
        page = imaging::convertPageTo24Bits(std::move(page));
    return imaging::convertPage(std::move(page), FreeImage_ConvertToGreyscale);
}

imaging::Bitmap thresholdImage(imaging::Bitmap page, const settings::Settings& settings) {
    if (!page || !settings.doImageThreshold)
        return page;
    // Clamped rather than wrapped into a byte: 300 must not act as 44.
    const BYTE level = static_cast<BYTE>(std::clamp(settings.imageThreshold, 0, 255));
    return imaging::convertPage(prepareForBilevel(std::move(page)), [level](FIBITMAP* bitmap) {
        return FreeImage_Threshold(bitmap, level);
    });
}

imaging::Bitmap ditherImage(imaging::Bitmap page, const settings::Settings& settings) {
    if (!page || !settings.doImageDither)
        return page;
    const FREE_IMAGE_DITHER algorithm = ditherOf(settings.imageDitherAlgorithm);
    return imaging::convertPage(prepareForBilevel(std::move(page)), [algorithm](FIBITMAP* bitmap) {
        return FreeImage_Dither(bitmap, algorithm);
    });
}

} // namespace kx::engine
