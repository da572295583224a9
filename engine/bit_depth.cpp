#include "engine/bit_depth.h"

#include "engine/format_registry.h"
#include "engine/standard_type.h"

#include <string>

namespace kx::engine {

namespace {

// 48 and 96 bits are FreeImage's 16-bit and float RGB types; the rest are standard bitmaps.
// A 16-bit grey or float page has a depth of 16 or 32 but cannot be saved as one.
bool hasDepth(FIBITMAP* page, int depth) {
    if (static_cast<int>(FreeImage_GetBPP(page)) != depth)
        return false;
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(page);
    if (depth == 96)
        return type == FIT_RGBF;
    if (depth == 48)
        return type == FIT_RGB16;
    return type == FIT_BITMAP;
}

bool isStandard24(FIBITMAP* page) {
    return FreeImage_GetImageType(page) == FIT_BITMAP && FreeImage_GetBPP(page) == 24;
}

// FreeImage's 16-bit conversion would take a 16-bit grey page for 5-6-5 pixels as it is.
Bitmap to16Bits(Bitmap page, const std::string& formatKey) {
    if (FreeImage_GetBPP(page.get()) > 32 || FreeImage_GetImageType(page.get()) != FIT_BITMAP)
        page = convertPageTo24Bits(std::move(page));
    const bool fiveFiveFive = formatKey == "ico" || formatKey == "tga";
    return convertPage(std::move(page),
                       fiveFiveFive ? FreeImage_ConvertTo16Bits555 : FreeImage_ConvertTo16Bits565);
}

Bitmap to8Bits(Bitmap page, const std::string& formatKey) {
    if (formatKey == "j2k" || formatKey == "jp2" || formatKey == "jpg" || formatKey == "jxr")
        return convertPage(std::move(page), FreeImage_ConvertTo8Bits);
    if (!isStandard24(page.get()))
        page = convertPageTo24Bits(std::move(page));
    return convertPage(std::move(page), [](FIBITMAP* bitmap) {
        return FreeImage_ColorQuantizeEx(bitmap, FIQ_WUQUANT, 256, 0, nullptr);
    });
}

// FreeImage's 4-bit conversion and dithering hand a non-standard page back unconverted or read
// its samples as something else, so such pages are standardised first.
Bitmap toLowDepth(Bitmap page, const PageConversion& convert) {
    return convertPage(standardizePage(std::move(page)), convert);
}

} // namespace

Bitmap convertToTargetDepth(Bitmap page, JobState& job) {
    if (job.autoDepth)
        job.targetDepth = nearestAllowedDepth(job.outputFormatKey, job.sourceDepth);
    if (!page || hasDepth(page.get(), job.targetDepth))
        return page;
    switch (job.targetDepth) {
    case 96:
        return convertPage(std::move(page), FreeImage_ConvertToRGBF);
    case 48:
        return convertPage(std::move(page), FreeImage_ConvertToRGB16);
    case 32:
        return convertPage(std::move(page), FreeImage_ConvertTo32Bits);
    case 24:
        return convertPageTo24Bits(std::move(page));
    case 16:
        return to16Bits(std::move(page), job.outputFormatKey);
    case 8:
        return to8Bits(std::move(page), job.outputFormatKey);
    case 4:
        return toLowDepth(std::move(page), FreeImage_ConvertTo4Bits);
    case 1:
        return toLowDepth(std::move(page),
                          [](FIBITMAP* bitmap) { return FreeImage_Dither(bitmap, FID_FS); });
    default:
        return nullptr;
    }
}

} // namespace kx::engine
