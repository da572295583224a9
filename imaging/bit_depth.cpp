#include "imaging/bit_depth.h"

#include "imaging/format_registry.h"
#include "imaging/standard_type.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace kx::imaging {

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

bool isJpegFamily(const std::string& formatKey) {
    return formatKey == "j2k" || formatKey == "jp2" || formatKey == "jpg" || formatKey == "jxr";
}

uint32_t colourAt(const BYTE* pixel) {
    return uint32_t{pixel[FI_RGBA_RED]} << 16 | uint32_t{pixel[FI_RGBA_GREEN]} << 8 |
           pixel[FI_RGBA_BLUE];
}

// What the depth conversion needs to know about a 24-bit page's colours.
struct ColourCensus {
    std::vector<uint32_t> colours; // ascending 0xRRGGBB; complete only when `fits`
    bool fits = true;              // no more distinct colours than the limit
    bool grey = true;              // every pixel has red = green = blue
};

ColourCensus takeCensus(FIBITMAP* page, size_t limit) {
    ColourCensus census;
    std::vector<bool> seen(size_t{1} << 24);
    const unsigned width = FreeImage_GetWidth(page);
    const unsigned height = FreeImage_GetHeight(page);
    for (unsigned y = 0; y < height && (census.fits || census.grey); ++y) {
        const BYTE* pixel = FreeImage_GetScanLine(page, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, pixel += 3) {
            const uint32_t colour = colourAt(pixel);
            if (census.grey && (pixel[0] != pixel[1] || pixel[1] != pixel[2]))
                census.grey = false;
            if (!census.fits || seen[colour])
                continue;
            seen[colour] = true;
            census.colours.push_back(colour);
            census.fits = census.colours.size() <= limit;
        }
    }
    std::sort(census.colours.begin(), census.colours.end());
    return census;
}

void setIndex(BYTE* row, unsigned x, int depth, BYTE index) {
    switch (depth) {
    case 8:
        row[x] = index;
        break;
    case 4:
        row[x / 2] |= x % 2 ? index : static_cast<BYTE>(index << 4);
        break;
    default:
        if (index)
            row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    }
}

// The 24-bit page at `depth` with a palette of exactly `colours` (ascending, so a grey page
// gets a grey ramp).
Bitmap withExactPalette(FIBITMAP* page, int depth, const std::vector<uint32_t>& colours) {
    const unsigned width = FreeImage_GetWidth(page);
    const unsigned height = FreeImage_GetHeight(page);
    Bitmap indexed = keepResolution(page, FreeImage_Allocate(width, height, depth));
    if (!indexed)
        return indexed;
    RGBQUAD* palette = FreeImage_GetPalette(indexed.get());
    for (size_t i = 0; i < colours.size(); ++i) {
        palette[i].rgbRed = static_cast<BYTE>(colours[i] >> 16);
        palette[i].rgbGreen = static_cast<BYTE>(colours[i] >> 8);
        palette[i].rgbBlue = static_cast<BYTE>(colours[i]);
    }
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* pixel = FreeImage_GetScanLine(page, static_cast<int>(y));
        BYTE* row = FreeImage_GetScanLine(indexed.get(), static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, pixel += 3) {
            const auto at = std::lower_bound(colours.begin(), colours.end(), colourAt(pixel));
            setIndex(row, x, depth, static_cast<BYTE>(at - colours.begin()));
        }
    }
    return indexed;
}

// Wu's quantiser to 16 colours gives an 8-bit page whose indices all fit in 4 bits.
Bitmap quantizeTo4Bits(FIBITMAP* page) {
    Bitmap quantized(FreeImage_ColorQuantizeEx(page, FIQ_WUQUANT, 16, 0, nullptr));
    if (!quantized)
        return quantized;
    const unsigned width = FreeImage_GetWidth(page);
    const unsigned height = FreeImage_GetHeight(page);
    Bitmap packed = keepResolution(page, FreeImage_Allocate(width, height, 4));
    if (!packed)
        return packed;
    std::copy_n(FreeImage_GetPalette(quantized.get()), 16, FreeImage_GetPalette(packed.get()));
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* source = FreeImage_GetScanLine(quantized.get(), static_cast<int>(y));
        BYTE* row = FreeImage_GetScanLine(packed.get(), static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x)
            setIndex(row, x, 4, source[x] & 0x0F);
    }
    return packed;
}

// 1, 4 and 8 bits with a palette.
Bitmap toPaletteDepth(Bitmap page, int depth, const std::string& formatKey) {
    if (depth == 8 && isJpegFamily(formatKey))
        return convertPage(std::move(page), FreeImage_ConvertTo8Bits);
    if (!isStandard24(page.get()))
        page = convertPageTo24Bits(std::move(page));
    if (!page)
        return page;
    const ColourCensus census = takeCensus(page.get(), size_t{1} << depth);
    if (census.fits)
        return withExactPalette(page.get(), depth, census.colours);
    switch (depth) {
    case 1:
        return convertPage(std::move(page),
                           [](FIBITMAP* bitmap) { return FreeImage_Dither(bitmap, FID_FS); });
    case 4:
        // FreeImage's 4-bit conversion is a grey ramp of 16 evenly spaced levels.
        if (census.grey)
            return convertPage(std::move(page), FreeImage_ConvertTo4Bits);
        return quantizeTo4Bits(page.get());
    default:
        return convertPage(std::move(page), [](FIBITMAP* bitmap) {
            return FreeImage_ColorQuantizeEx(bitmap, FIQ_WUQUANT, 256, 0, nullptr);
        });
    }
}

} // namespace

void resolveTargetDepth(SaveTarget& job) {
    if (!job.autoDepth)
        return;
    // A deep grey source would otherwise get a colour depth (16 bits is 5-6-5 colour).
    const int depth = job.sourceGrey && job.sourceDepth > 8 ? 8 : job.sourceDepth;
    job.targetDepth = nearestAllowedDepth(job.outputFormatKey, depth);
}

Bitmap convertToTargetDepth(Bitmap page, SaveTarget& job) {
    resolveTargetDepth(job);
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
    case 4:
    case 1:
        return toPaletteDepth(std::move(page), job.targetDepth, job.outputFormatKey);
    default:
        return nullptr;
    }
}

} // namespace kx::imaging