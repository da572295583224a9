#include "imaging/standard_type.h"

namespace kx::imaging {

namespace {

bool isFloatColour(FREE_IMAGE_TYPE type) {
    return type == FIT_RGBF || type == FIT_RGBAF;
}

} // namespace

Bitmap standardizePage(Bitmap page) {
    if (!page)
        return page;
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(page.get());
    if (type == FIT_BITMAP)
        return page;
    // Gamma 1.0 rather than FreeImage's default 2.2, matching the tone mapping at loading;
    // 16-bit integer colour is scaled to 8 bits per sample, as at loading.
    FIBITMAP* standard = isFloatColour(type)  ? FreeImage_TmoDrago03(page.get(), 1.0, 0.0)
                         : type == FIT_RGB16  ? FreeImage_ConvertTo24Bits(page.get())
                         : type == FIT_RGBA16 ? FreeImage_ConvertTo32Bits(page.get())
                                              : FreeImage_ConvertToStandardType(page.get(), TRUE);
    return keepResolution(page.get(), standard);
}

Bitmap standardizeGreyscale(Bitmap page) {
    if (!page)
        return page;
    const FREE_IMAGE_COLOR_TYPE type = FreeImage_GetColorType(page.get());
    if (type != FIC_MINISWHITE && type != FIC_MINISBLACK)
        return page;
    return keepResolution(page.get(), FreeImage_ConvertToStandardType(page.get(), TRUE));
}

Bitmap toneMap(Bitmap page) {
    if (!page || FreeImage_GetBPP(page.get()) <= 32)
        return page;
    // 16 bits per sample is more precision, not more range: scaled, never tone-mapped.
    switch (FreeImage_GetImageType(page.get())) {
    case FIT_RGB16:
        return keepResolution(page.get(), FreeImage_ConvertTo24Bits(page.get()));
    case FIT_RGBA16:
        return keepResolution(page.get(), FreeImage_ConvertTo32Bits(page.get()));
    default:
        return keepResolution(page.get(), FreeImage_TmoDrago03(page.get(), 1.0, 0.0));
    }
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