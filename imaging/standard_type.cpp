#include "imaging/standard_type.h"

namespace kx::imaging {

namespace {

bool isFloatColour(FREE_IMAGE_TYPE type) {
    return type == FIT_RGBF || type == FIT_RGBAF;
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
    // Gamma 1.0 rather than FreeImage's default 2.2, matching the tone mapping at loading.
    // 16 bits per sample is more precision, not more range: scaled, never tone-mapped.
    FIBITMAP* standard = isFloatColour(type)  ? FreeImage_TmoDrago03(page.get(), 1.0, 0.0)
                         : type == FIT_RGB16  ? FreeImage_ConvertTo24Bits(page.get())
                         : type == FIT_RGBA16 ? FreeImage_ConvertTo32Bits(page.get())
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
    if (Bitmap converted = keepResolution(page.get(), convert(page.get())))
        return converted;
    if (FreeImage_GetImageType(page.get()) == FIT_BITMAP)
        return nullptr;
    Bitmap standard = standardizePage(std::move(page));
    if (!standard)
        return standard;
    return keepResolution(standard.get(), convert(standard.get()));
}

Bitmap convertPageTo24Bits(Bitmap page) {
    return convertPage(std::move(page), FreeImage_ConvertTo24Bits);
}

} // namespace kx::imaging