#pragma once

#include "imaging/bitmap.h"
#include "tests/support/tiff_writer.h"

// In-memory pages for the tests of the pipeline steps. Coordinates count rows from the top.

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace kx::test::pages {

// Resolution given to every page made here; unequal, so that a swap shows.
constexpr unsigned k_dotsX = 11811; // 300 dpi
constexpr unsigned k_dotsY = 7874;  // 200 dpi

inline imaging::Bitmap withResolution(FIBITMAP* bitmap) {
    if (bitmap) {
        FreeImage_SetDotsPerMeterX(bitmap, k_dotsX);
        FreeImage_SetDotsPerMeterY(bitmap, k_dotsY);
    }
    return imaging::Bitmap(bitmap);
}

// A 24- or 32-bit page (alpha 255) coloured by `colour`.
inline imaging::Bitmap colourPage(int width, int height, const std::function<Rgb(int, int)>& colour,
                                  int bpp = 24) {
    imaging::Bitmap page = withResolution(FreeImage_Allocate(width, height, bpp));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            RGBQUAD quad{c.b, c.g, c.r, 255};
            FreeImage_SetPixelColor(page.get(), x, height - 1 - y, &quad);
        }
    }
    return page;
}

inline imaging::Bitmap patternPage(int width, int height, int bpp = 24) {
    return colourPage(width, height, patternColour, bpp);
}

inline imaging::Bitmap solidPage(int width, int height, Rgb colour, int bpp = 24) {
    return colourPage(
        width, height, [colour](int, int) { return colour; }, bpp);
}

// An 8-bit page with a grey ramp palette, or a `bpp`-bit one (1 or 4) with a black-to-white
// palette; pixel indices from `index`.
inline imaging::Bitmap indexedPage(int width, int height, const std::function<int(int, int)>& index,
                                   int bpp = 8) {
    imaging::Bitmap page = withResolution(FreeImage_Allocate(width, height, bpp));
    RGBQUAD* palette = FreeImage_GetPalette(page.get());
    const int colours = 1 << bpp;
    for (int i = 0; i < colours; ++i) {
        const BYTE level = static_cast<BYTE>(i * 255 / (colours - 1));
        palette[i] = RGBQUAD{level, level, level, 0};
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            BYTE value = static_cast<BYTE>(index(x, y));
            FreeImage_SetPixelIndex(page.get(), x, height - 1 - y, &value);
        }
    }
    return page;
}

// A blank page of a non-standard type, e.g. FIT_UINT16 or FIT_RGBF.
inline imaging::Bitmap typedPage(FREE_IMAGE_TYPE type, int width, int height) {
    const int bpp = type == FIT_UINT16 ? 16 : type == FIT_RGB16 ? 48 : type == FIT_RGBF ? 96 : 32;
    imaging::Bitmap page = withResolution(FreeImage_AllocateT(type, width, height, bpp));
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(page.get(), y);
        for (unsigned i = 0; i < FreeImage_GetLine(page.get()); ++i)
            line[i] = static_cast<BYTE>(i * 7 + y);
    }
    return page;
}

inline ::testing::AssertionResult keptResolution(FIBITMAP* page) {
    if (!page)
        return ::testing::AssertionFailure() << "page is null";
    const unsigned x = FreeImage_GetDotsPerMeterX(page);
    const unsigned y = FreeImage_GetDotsPerMeterY(page);
    if (x == k_dotsX && y == k_dotsY)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "resolution " << x << " x " << y << " dots per metre";
}

// Number of distinct colours, after bringing the page to 32 bits.
inline int colourCount(FIBITMAP* page) {
    imaging::Bitmap rgba(FreeImage_ConvertTo32Bits(page));
    if (!rgba)
        return -1;
    std::vector<uint32_t> seen;
    for (unsigned y = 0; y < FreeImage_GetHeight(rgba.get()); ++y) {
        const uint32_t* line =
            reinterpret_cast<const uint32_t*>(FreeImage_GetScanLine(rgba.get(), y));
        for (unsigned x = 0; x < FreeImage_GetWidth(rgba.get()); ++x) {
            const uint32_t rgb = line[x] & 0xFFFFFF;
            if (std::find(seen.begin(), seen.end(), rgb) == seen.end())
                seen.push_back(rgb);
        }
    }
    return static_cast<int>(seen.size());
}

} // namespace kx::test::pages
