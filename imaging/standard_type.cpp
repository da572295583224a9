#include "imaging/standard_type.h"

#include "imaging/sample_scaling.h"

#include <cstdint>
#include <cstring>

namespace kx::imaging {

namespace {

bool isFloatColour(FREE_IMAGE_TYPE type) {
    return type == FIT_RGBF || type == FIT_RGBAF;
}

bool isDeepGrey(FREE_IMAGE_TYPE type) {
    return type == FIT_UINT16 || type == FIT_INT16 || type == FIT_UINT32 || type == FIT_INT32 ||
           type == FIT_FLOAT || type == FIT_DOUBLE;
}

// The 8-bit level of the `x`th sample of a row of one-sample pixels of `type`.
uint8_t levelAt(FREE_IMAGE_TYPE type, const BYTE* row, unsigned x) {
    const auto sample = [&]<typename T>(T) {
        T value;
        std::memcpy(&value, row + size_t{x} * sizeof(T), sizeof(T));
        return value;
    };
    switch (type) {
    case FIT_UINT16:
        return levelOfUnsigned(sample(uint16_t{}), 16);
    case FIT_INT16:
        return levelOfSigned(sample(int16_t{}), 16);
    case FIT_UINT32:
        return levelOfUnsigned(sample(uint32_t{}), 32);
    case FIT_INT32:
        return levelOfSigned(sample(int32_t{}), 32);
    case FIT_FLOAT:
        return levelOfReal(sample(float{}));
    default:
        return levelOfReal(sample(double{}));
    }
}

// One-sample pages deeper than 8 bits as 8-bit grey, each sample mapped by its value.
FIBITMAP* greyByValue(FIBITMAP* page) {
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(page);
    const unsigned width = FreeImage_GetWidth(page);
    const unsigned height = FreeImage_GetHeight(page);
    FIBITMAP* grey = FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 8);
    if (!grey)
        return nullptr;
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* source = FreeImage_GetScanLine(page, static_cast<int>(y));
        BYTE* level = FreeImage_GetScanLine(grey, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x)
            level[x] = levelAt(type, source, x);
    }
    return grey;
}

// 16-bit RGB(A) pages as 24- or 32-bit pages, each sample mapped by its value (FreeImage's own
// conversion drops the low byte, which truncates instead of rounding).
FIBITMAP* colourByValue(FIBITMAP* page) {
    const bool alpha = FreeImage_GetImageType(page) == FIT_RGBA16;
    const unsigned samples = alpha ? 4 : 3;
    const unsigned width = FreeImage_GetWidth(page);
    const unsigned height = FreeImage_GetHeight(page);
    FIBITMAP* colour = FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height),
                                          static_cast<int>(8 * samples));
    if (!colour)
        return nullptr;
    for (unsigned y = 0; y < height; ++y) {
        const auto* source =
            reinterpret_cast<const uint16_t*>(FreeImage_GetScanLine(page, static_cast<int>(y)));
        BYTE* pixel = FreeImage_GetScanLine(colour, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, source += samples, pixel += samples) {
            pixel[FI_RGBA_RED] = levelOfUnsigned(source[0], 16);
            pixel[FI_RGBA_GREEN] = levelOfUnsigned(source[1], 16);
            pixel[FI_RGBA_BLUE] = levelOfUnsigned(source[2], 16);
            if (alpha)
                pixel[FI_RGBA_ALPHA] = levelOfUnsigned(source[3], 16);
        }
    }
    return colour;
}

// Tone mapping drops the alpha of a float RGBA page; it is put back beside the mapped colour.
FIBITMAP* withAlphaOf(FIBITMAP* rgbaf, FIBITMAP* mapped) {
    if (!mapped)
        return nullptr;
    FIBITMAP* page = FreeImage_ConvertTo32Bits(mapped);
    FreeImage_Unload(mapped);
    if (!page)
        return nullptr;
    const unsigned width = FreeImage_GetWidth(page);
    for (unsigned y = 0; y < FreeImage_GetHeight(page); ++y) {
        const auto* source =
            reinterpret_cast<const FIRGBAF*>(FreeImage_GetScanLine(rgbaf, static_cast<int>(y)));
        BYTE* pixel = FreeImage_GetScanLine(page, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, pixel += 4)
            pixel[FI_RGBA_ALPHA] = levelOfReal(source[x].alpha);
    }
    return page;
}

FIBITMAP* toneMapped(FIBITMAP* page) {
    // Gamma 1.0 rather than FreeImage's default 2.2, matching the tone mapping at loading.
    FIBITMAP* mapped = FreeImage_TmoDrago03(page, 1.0, 0.0);
    return FreeImage_GetImageType(page) == FIT_RGBAF ? withAlphaOf(page, mapped) : mapped;
}

} // namespace

bool isGreyscale(FIBITMAP* page) {
    switch (FreeImage_GetImageType(page)) {
    case FIT_UINT16:
    case FIT_INT16:
    case FIT_UINT32:
    case FIT_INT32:
    case FIT_FLOAT:
    case FIT_DOUBLE:
        return true;
    case FIT_BITMAP: {
        const FREE_IMAGE_COLOR_TYPE type = FreeImage_GetColorType(page);
        return type == FIC_MINISBLACK || type == FIC_MINISWHITE;
    }
    default:
        return false;
    }
}

Bitmap standardizePage(Bitmap page) {
    if (!page)
        return page;
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(page.get());
    if (type == FIT_BITMAP)
        return page;
    // 16 bits per sample is more precision, not more range: scaled, never tone-mapped.
    FIBITMAP* standard = isFloatColour(type) ? toneMapped(page.get())
                         : isDeepGrey(type)  ? greyByValue(page.get())
                         : type == FIT_RGB16 || type == FIT_RGBA16
                             ? colourByValue(page.get())
                             : FreeImage_ConvertToStandardType(page.get(), TRUE);
    return keepResolution(page.get(), standard);
}

Bitmap standardizeGreyscale(Bitmap page) {
    if (!page || !isGreyscale(page.get()))
        return page;
    return standardizePage(std::move(page));
}

Bitmap toneMap(Bitmap page) {
    if (!page || FreeImage_GetBPP(page.get()) <= 32)
        return page;
    return standardizePage(std::move(page));
}

Bitmap convertPage(Bitmap page, const PageConversion& convert) {
    if (!page)
        return page;
    // 16-bit colour is mapped by value first, so that every step brings it to 8 bits alike.
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(page.get());
    if (type != FIT_RGB16 && type != FIT_RGBA16) {
        if (Bitmap converted = keepResolution(page.get(), convert(page.get())))
            return converted;
        if (type == FIT_BITMAP)
            return nullptr;
    }
    Bitmap standard = standardizePage(std::move(page));
    if (!standard)
        return standard;
    return keepResolution(standard.get(), convert(standard.get()));
}

Bitmap convertPageTo24Bits(Bitmap page) {
    return convertPage(std::move(page), FreeImage_ConvertTo24Bits);
}

} // namespace kx::imaging