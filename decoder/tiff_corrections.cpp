#include "decoder/tiff_corrections.h"

#include "imaging/bitmap.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace kx::decoder {

namespace {

constexpr int k_cmykSamples = 4;

bool isCmyk(const PageFacts& facts) {
    return facts.photometric == PHOTOMETRIC_SEPARATED && facts.samplesPerPixel >= k_cmykSamples &&
           facts.sampleFormat == SAMPLEFORMAT_UINT;
}

// 8-bit grey with an alpha sample, which FreeImage loads as grey with a made-up transparency
// table, the alpha lost and associated alpha left premultiplied.
bool isGreyWithAlpha(const PageFacts& facts) {
    return (facts.photometric == PHOTOMETRIC_MINISBLACK ||
            facts.photometric == PHOTOMETRIC_MINISWHITE) &&
           facts.samplesPerPixel == 2 && facts.bitsPerSample == 8 &&
           facts.sampleFormat == SAMPLEFORMAT_UINT &&
           (facts.extraSample == EXTRASAMPLE_ASSOCALPHA ||
            facts.extraSample == EXTRASAMPLE_UNASSALPHA);
}

bool isHalfFloat(const PageFacts& facts) {
    return facts.sampleFormat == SAMPLEFORMAT_IEEEFP && facts.bitsPerSample == 16;
}

float halfToFloat(uint16_t half) {
    const int sign = half >> 15 ? -1 : 1;
    const int exponent = (half >> 10) & 0x1F;
    const int mantissa = half & 0x3FF;
    if (exponent == 0)
        return sign * std::ldexp(static_cast<float>(mantissa), -24);
    if (exponent == 31)
        return mantissa ? NAN : sign * INFINITY;
    return sign * std::ldexp(static_cast<float>(mantissa + 1024), exponent - 25);
}

BYTE unpremultiplied(BYTE colour, BYTE alpha) {
    if (alpha == 0)
        return 0;
    return static_cast<BYTE>(std::min(255, (colour * 255 + alpha / 2) / alpha));
}

// The resolution FreeImage would have read from the directory; a resolution it has no defined
// result for leaves the new bitmap's.
void copyResolution(TIFF* tiff, FIBITMAP* page) {
    const std::optional<DotsPerMetre> resolution = readDotsPerMetre(tiff);
    if (!resolution)
        return;
    FreeImage_SetDotsPerMeterX(page, resolution->x);
    FreeImage_SetDotsPerMeterY(page, resolution->y);
}

struct RasterFree {
    void operator()(uint32_t* raster) const { _TIFFfree(raster); }
};

// CMYK through libtiff's RGBA reader, which also copes with every compression and tiling.
imaging::Bitmap decodeCmyk(TIFF* tiff, const PageFacts& facts, std::string& why) {
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tiff, message)) {
        why = message;
        return nullptr;
    }
    const size_t pixels = size_t{facts.width} * facts.height;
    std::unique_ptr<uint32_t, RasterFree> raster(
        static_cast<uint32_t*>(_TIFFmalloc(static_cast<tmsize_t>(pixels * sizeof(uint32_t)))));
    if (!raster) {
        why = "no memory for the page";
        return nullptr;
    }
    if (!TIFFReadRGBAImageOriented(tiff, facts.width, facts.height, raster.get(),
                                   ORIENTATION_TOPLEFT, 1)) {
        why = "the page's data could not be read";
        return nullptr;
    }
    const bool alpha = facts.extraSample >= 0;
    imaging::Bitmap page(FreeImage_Allocate(facts.width, facts.height, alpha ? 32 : 24));
    if (!page) {
        why = "no memory for the page";
        return nullptr;
    }
    const unsigned step = alpha ? 4 : 3;
    for (uint32_t y = 0; y < facts.height; ++y) {
        const uint32_t* source = raster.get() + size_t{y} * facts.width;
        BYTE* pixel = FreeImage_GetScanLine(page.get(), static_cast<int>(facts.height - 1 - y));
        for (uint32_t x = 0; x < facts.width; ++x, pixel += step) {
            // libtiff's RGBA pixels carry premultiplied colour whatever the file holds.
            const BYTE a = alpha ? static_cast<BYTE>(TIFFGetA(source[x])) : 255;
            pixel[FI_RGBA_RED] = unpremultiplied(static_cast<BYTE>(TIFFGetR(source[x])), a);
            pixel[FI_RGBA_GREEN] = unpremultiplied(static_cast<BYTE>(TIFFGetG(source[x])), a);
            pixel[FI_RGBA_BLUE] = unpremultiplied(static_cast<BYTE>(TIFFGetB(source[x])), a);
            if (alpha)
                pixel[FI_RGBA_ALPHA] = a;
        }
    }
    copyResolution(tiff, page.get());
    return page;
}

// One plane of the page (every sample when the samples are contiguous), top row first,
// decoded by libtiff from strips or tiles. False with `why` set when a strip or tile
// cannot be read.
bool readPlane(TIFF* tiff, const PageFacts& facts, uint16_t plane, size_t pixelBytes,
               std::vector<BYTE>& out, std::string& why) {
    const size_t rowBytes = pixelBytes * facts.width;
    out.assign(rowBytes * facts.height, 0);
    if (!facts.tiled) {
        uint32_t rowsPerStrip = facts.height;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, std::max<uint32_t>(facts.height, 1));
        for (uint32_t top = 0; top < facts.height; top += rowsPerStrip) {
            const uint32_t strip = TIFFComputeStrip(tiff, top, plane);
            const size_t rows = std::min(rowsPerStrip, facts.height - top);
            if (TIFFReadEncodedStrip(tiff, strip, out.data() + top * rowBytes,
                                     static_cast<tmsize_t>(rows * rowBytes)) < 0) {
                why = "strip " + std::to_string(strip) + " could not be read";
                return false;
            }
        }
        return true;
    }
    uint32_t tileWidth = 0, tileHeight = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
    if (tileWidth == 0 || tileHeight == 0) {
        why = "the page has no tile size";
        return false;
    }
    std::vector<BYTE> tile(static_cast<size_t>(std::max<tmsize_t>(TIFFTileSize(tiff), 0)));
    if (tile.size() < size_t{tileWidth} * tileHeight * pixelBytes) {
        why = "the page's tiles are smaller than their size says";
        return false;
    }
    for (uint32_t top = 0; top < facts.height; top += tileHeight) {
        for (uint32_t left = 0; left < facts.width; left += tileWidth) {
            if (TIFFReadTile(tiff, tile.data(), left, top, 0, plane) < 0) {
                why = "the tile at " + std::to_string(left) + "," + std::to_string(top) +
                      " could not be read";
                return false;
            }
            const size_t columns = std::min(tileWidth, facts.width - left);
            for (uint32_t row = 0; row < tileHeight && top + row < facts.height; ++row)
                std::memcpy(out.data() + (top + row) * rowBytes + left * pixelBytes,
                            tile.data() + size_t{row} * tileWidth * pixelBytes,
                            columns * pixelBytes);
        }
    }
    return true;
}

// The page's samples, interleaved pixel by pixel, top row first, from contiguous samples or
// from separate planes.
bool readSamples(TIFF* tiff, const PageFacts& facts, size_t sampleBytes, std::vector<BYTE>& out,
                 std::string& why) {
    const size_t samples = facts.samplesPerPixel;
    if (facts.planarContiguous)
        return readPlane(tiff, facts, 0, sampleBytes * samples, out, why);
    out.assign(size_t{facts.width} * facts.height * samples * sampleBytes, 0);
    std::vector<BYTE> plane;
    for (size_t sample = 0; sample < samples; ++sample) {
        if (!readPlane(tiff, facts, static_cast<uint16_t>(sample), sampleBytes, plane, why))
            return false;
        const size_t pixels = size_t{facts.width} * facts.height;
        for (size_t i = 0; i < pixels; ++i)
            std::memcpy(out.data() + (i * samples + sample) * sampleBytes,
                        plane.data() + i * sampleBytes, sampleBytes);
    }
    return true;
}

// Half floats widened to FreeImage's float types: grey, RGB or RGBA.
imaging::Bitmap decodeHalfFloat(TIFF* tiff, const PageFacts& facts, std::string& why) {
    const int samples = facts.samplesPerPixel;
    const FREE_IMAGE_TYPE type = samples == 1 || samples == 2 ? FIT_FLOAT
                                 : samples == 3               ? FIT_RGBF
                                 : samples == 4               ? FIT_RGBAF
                                                              : FIT_UNKNOWN;
    if (type == FIT_UNKNOWN) {
        why = "half-float pages of " + std::to_string(samples) + " samples are not supported";
        return nullptr;
    }
    std::vector<BYTE> data;
    if (!readSamples(tiff, facts, 2, data, why))
        return nullptr;
    imaging::Bitmap page(FreeImage_AllocateT(type, facts.width, facts.height));
    if (!page) {
        why = "no memory for the page";
        return nullptr;
    }
    const int kept = type == FIT_FLOAT ? 1 : type == FIT_RGBF ? 3 : 4;
    const bool inverted = facts.photometric == PHOTOMETRIC_MINISWHITE;
    for (uint32_t y = 0; y < facts.height; ++y) {
        const BYTE* source = data.data() + size_t{y} * facts.width * samples * 2;
        auto* row = reinterpret_cast<float*>(
            FreeImage_GetScanLine(page.get(), static_cast<int>(facts.height - 1 - y)));
        for (uint32_t x = 0; x < facts.width; ++x) {
            for (int s = 0; s < kept; ++s) {
                uint16_t half = 0;
                std::memcpy(&half, source + (size_t{x} * samples + s) * 2, 2);
                const float value = halfToFloat(half);
                row[size_t{x} * kept + s] = inverted ? 1.0f - value : value;
            }
        }
    }
    copyResolution(tiff, page.get());
    return page;
}

// Grey and alpha to 32-bit RGBA, the colour unpremultiplied where the alpha is associated.
imaging::Bitmap decodeGreyWithAlpha(TIFF* tiff, const PageFacts& facts, std::string& why) {
    std::vector<BYTE> data;
    if (!readSamples(tiff, facts, 1, data, why))
        return nullptr;
    imaging::Bitmap page(FreeImage_Allocate(facts.width, facts.height, 32));
    if (!page) {
        why = "no memory for the page";
        return nullptr;
    }
    const bool inverted = facts.photometric == PHOTOMETRIC_MINISWHITE;
    const bool associated = facts.extraSample == EXTRASAMPLE_ASSOCALPHA;
    for (uint32_t y = 0; y < facts.height; ++y) {
        const BYTE* source = data.data() + size_t{y} * facts.width * 2;
        BYTE* pixel = FreeImage_GetScanLine(page.get(), static_cast<int>(facts.height - 1 - y));
        for (uint32_t x = 0; x < facts.width; ++x, pixel += 4, source += 2) {
            const BYTE alpha = source[1];
            BYTE grey = inverted ? static_cast<BYTE>(255 - source[0]) : source[0];
            if (associated)
                grey = unpremultiplied(grey, alpha);
            pixel[FI_RGBA_RED] = pixel[FI_RGBA_GREEN] = pixel[FI_RGBA_BLUE] = grey;
            pixel[FI_RGBA_ALPHA] = alpha;
        }
    }
    copyResolution(tiff, page.get());
    return page;
}

void unpremultiply(FIBITMAP* page) {
    const unsigned width = FreeImage_GetWidth(page);
    for (unsigned y = 0; y < FreeImage_GetHeight(page); ++y) {
        BYTE* pixel = FreeImage_GetScanLine(page, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, pixel += 4) {
            const BYTE alpha = pixel[FI_RGBA_ALPHA];
            for (const int channel : {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE})
                pixel[channel] = unpremultiplied(pixel[channel], alpha);
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

bool decodesWithLibtiff(const PageFacts& facts) {
    return isCmyk(facts) || isHalfFloat(facts) || isGreyWithAlpha(facts);
}

imaging::Bitmap decodeWithLibtiff(TIFF* tiff, const PageFacts& facts, std::string& why) {
    try {
        if (isCmyk(facts))
            return decodeCmyk(tiff, facts, why);
        if (isGreyWithAlpha(facts))
            return decodeGreyWithAlpha(tiff, facts, why);
        return decodeHalfFloat(tiff, facts, why);
    } catch (const std::bad_alloc&) {
        why = "no memory for the page";
        return nullptr;
    }
}

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
    }
    if (type == FIT_UINT16 && facts.photometric == PHOTOMETRIC_MINISWHITE)
        invertSamples(page);
}

} // namespace kx::decoder