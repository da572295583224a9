#include "decoder/freeimage_corrections.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdint>

namespace kx::decoder {

namespace {

// `colour` * largest / `alpha`, rounded and capped; 0 where the pixel is transparent.
template <typename Sample> Sample unpremultiplied(Sample colour, Sample alpha, uint32_t largest) {
    if (alpha == 0)
        return 0;
    const uint64_t value = (uint64_t{colour} * largest + alpha / 2) / alpha;
    return static_cast<Sample>(std::min<uint64_t>(largest, value));
}

void unpremultiply(FIBITMAP* page) {
    const unsigned width = FreeImage_GetWidth(page);
    for (unsigned y = 0; y < FreeImage_GetHeight(page); ++y) {
        BYTE* pixel = FreeImage_GetScanLine(page, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, pixel += 4) {
            const BYTE alpha = pixel[FI_RGBA_ALPHA];
            for (const int channel : {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE})
                pixel[channel] = unpremultiplied<BYTE>(pixel[channel], alpha, 255);
        }
    }
}

void unpremultiply16(FIBITMAP* page) {
    const unsigned width = FreeImage_GetWidth(page);
    for (unsigned y = 0; y < FreeImage_GetHeight(page); ++y) {
        auto* pixel = reinterpret_cast<FIRGBA16*>(FreeImage_GetScanLine(page, static_cast<int>(y)));
        for (unsigned x = 0; x < width; ++x, ++pixel) {
            pixel->red = unpremultiplied<WORD>(pixel->red, pixel->alpha, 65535);
            pixel->green = unpremultiplied<WORD>(pixel->green, pixel->alpha, 65535);
            pixel->blue = unpremultiplied<WORD>(pixel->blue, pixel->alpha, 65535);
        }
    }
}

void makeOpaque(FIBITMAP* page) {
    const unsigned width = FreeImage_GetWidth(page);
    for (unsigned y = 0; y < FreeImage_GetHeight(page); ++y) {
        BYTE* pixel = FreeImage_GetScanLine(page, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, pixel += 4)
            pixel[FI_RGBA_ALPHA] = 255;
    }
}

void invertSamples(FIBITMAP* page) {
    const unsigned width = FreeImage_GetWidth(page);
    for (unsigned y = 0; y < FreeImage_GetHeight(page); ++y) {
        auto* sample =
            reinterpret_cast<uint16_t*>(FreeImage_GetScanLine(page, static_cast<int>(y)));
        for (unsigned x = 0; x < width; ++x)
            sample[x] = static_cast<uint16_t>(65535 - sample[x]);
    }
}

} // namespace

void correctDecodedPage(FIBITMAP* page, const PageFacts& facts) {
    if (!page)
        return;
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(page);
    const unsigned bpp = FreeImage_GetBPP(page);
    const bool standard32 = type == FIT_BITMAP && bpp == 32;
    if (facts.extraSample < 0) {
        // Without ExtraSamples the page has no alpha, whatever FreeImage made up.
        if (type == FIT_BITMAP && bpp <= 8 && FreeImage_IsTransparent(page))
            FreeImage_SetTransparencyTable(page, nullptr, 0);
        if (standard32)
            makeOpaque(page);
    } else if (facts.extraSample == EXTRASAMPLE_ASSOCALPHA && standard32) {
        unpremultiply(page);
    } else if (facts.extraSample == EXTRASAMPLE_ASSOCALPHA && type == FIT_RGBA16) {
        unpremultiply16(page);
    }
    if (type == FIT_UINT16 && facts.photometric == PHOTOMETRIC_MINISWHITE)
        invertSamples(page);
}

} // namespace kx::decoder
