#include "decoder/tiff/page_budget.h"

#include <tiffio.h>

#include <algorithm>
#include <string>

namespace kx::decoder {

namespace {

constexpr uint64_t k_mebibyte = uint64_t{1} << 20;
// Small pages are never worth refusing, whatever their data looks like.
constexpr uint64_t k_alwaysPlausible = 4 * k_mebibyte;
// The working copies the chain may hold at once (a step's input and output, the frame or
// watermark canvas), at 32 bits per pixel.
constexpr uint64_t k_workingCopies = 3;
// A new bitmap's resolution, 72 dots per inch.
constexpr uint32_t k_defaultDotsPerMetre = 2835;

uint64_t decodedBytes(const PageFacts& facts) {
    const uint64_t bitsPerPixel = uint64_t{facts.samplesPerPixel} * facts.bitsPerSample;
    const uint64_t rowBytes = (uint64_t{facts.width} * bitsPerPixel + 7) / 8;
    return rowBytes * facts.height;
}

uint64_t storedBytesOf(TIFF* tiff, uint64_t fileSize) {
    const bool tiled = TIFFIsTiled(tiff);
    const uint32_t count = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    uint64_t* offsets = nullptr;
    uint64_t* sizes = nullptr;
    if (!TIFFGetField(tiff, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) ||
        !TIFFGetField(tiff, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &sizes) ||
        !offsets || !sizes)
        return 0;
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (offsets[i] >= fileSize)
            continue;
        total += std::min(sizes[i], fileSize - offsets[i]);
    }
    return total;
}

// The most a codec can expand its input, as decoded bytes per stored byte, or 0 when the
// codec has no useful bound.
uint64_t largestExpansion(int compression) {
    switch (compression) {
    case COMPRESSION_NONE:
        return 1;
    case COMPRESSION_LZW:
        return 4096; // a 9-bit code at best stands for a 4096-byte string
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return 1032; // deflate's own limit
    case COMPRESSION_PACKBITS:
        return 64; // two bytes repeat one byte 128 times
    case COMPRESSION_OJPEG:
    case COMPRESSION_JPEG:
        return 1024; // a flat 8x8 block still costs a few bits per component
    default:
        return 0;
    }
}

std::string mebibytes(uint64_t bytes) {
    return std::to_string(bytes / k_mebibyte) + " MB";
}

} // namespace

bool isFax(int compression) {
    return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
           compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_CCITTRLEW;
}

PageFacts readPageFacts(TIFF* tiff, uint64_t fileSize) {
    PageFacts facts;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &facts.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &facts.height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &facts.samplesPerPixel);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &facts.bitsPerSample);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    facts.compression = compression;
    facts.storedBytes = storedBytesOf(tiff, fileSize);
    uint16_t photometric = 0;
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric))
        facts.photometric = photometric;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    facts.sampleFormat = sampleFormat;
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 && extra)
        facts.extraSample = extra[0];
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    facts.planarContiguous = planar == PLANARCONFIG_CONTIG;
    facts.tiled = TIFFIsTiled(tiff) != 0;
    return facts;
}

std::optional<DotsPerMetre> readDotsPerMetre(TIFF* tiff) {
    float x = 300.0f;
    float y = 300.0f;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetField(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x);
    TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y);
    if (unit == RESUNIT_NONE && x > 0.0f && y > 0.0f)
        unit = RESUNIT_INCH;
    if (unit != RESUNIT_INCH && unit != RESUNIT_CENTIMETER)
        return DotsPerMetre{k_defaultDotsPerMetre, k_defaultDotsPerMetre};
    const auto rounded = [unit](float value) -> std::optional<uint32_t> {
        const double scaled = unit == RESUNIT_INCH ? value / 0.0254000 + 0.5 : value * 100.0 + 0.5;
        if (!(scaled >= 0.0 && scaled < 4294967296.0))
            return std::nullopt;
        return static_cast<uint32_t>(scaled);
    };
    const std::optional<uint32_t> perMetreX = rounded(x);
    const std::optional<uint32_t> perMetreY = rounded(y);
    if (!perMetreX || !perMetreY)
        return std::nullopt;
    return DotsPerMetre{*perMetreX, *perMetreY};
}

uint64_t pageFootprint(const PageFacts& facts) {
    const uint64_t pixels = uint64_t{facts.width} * facts.height;
    // Float and 16-bit pages decode wider than they are stored (RGBF is 12 bytes a pixel).
    const uint64_t decoded = std::max(decodedBytes(facts), pixels * 4);
    return 2 * decoded + k_workingCopies * pixels * 4;
}

std::string pageBudgetProblem(const PageFacts& facts, uint64_t availableMemory) {
    const uint64_t footprint = pageFootprint(facts);
    if (footprint > availableMemory)
        return "the page needs " + mebibytes(footprint) + " of memory, more than the " +
               mebibytes(availableMemory) + " available";
    const uint64_t claimed = decodedBytes(facts);
    if (claimed <= k_alwaysPlausible)
        return {};
    // Every fax row costs at least one bit, however blank it is.
    if (isFax(facts.compression) && facts.height / 8 > facts.storedBytes)
        return "the page claims " + std::to_string(facts.height) + " rows but holds only " +
               std::to_string(facts.storedBytes) + " bytes of data";
    const uint64_t expansion = largestExpansion(facts.compression);
    if (expansion != 0 && claimed / expansion > facts.storedBytes + k_alwaysPlausible / expansion)
        return "the page claims " + mebibytes(claimed) + " of pixels but holds only " +
               std::to_string(facts.storedBytes) + " bytes of data";
    return {};
}

} // namespace kx::decoder