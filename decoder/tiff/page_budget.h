#pragma once

#include "base/available_memory.h"

#include <cstdint>
#include <optional>
#include <string>

typedef struct tiff TIFF;

namespace kx::decoder {

// What a page's TIFF directory says about it before a single pixel is decoded.
struct PageFacts {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t samplesPerPixel = 1;
    uint16_t bitsPerSample = 1;
    int compression = 1;      // the Compression tag
    uint64_t storedBytes = 0; // compressed bytes of the page actually present in the file
    int photometric = -1;     // the Photometric tag; -1 when it is missing
    int sampleFormat = 1;     // the SampleFormat tag (1 unsigned integer, 3 IEEE float)
    int extraSample = -1;     // the first ExtraSamples value (1 associated alpha); -1: none
    bool planarContiguous = true;
    bool tiled = false;
};

// True for the fax codings of bilevel pages (CCITT modified Huffman, byte- or word-aligned,
// Group 3 and Group 4): each of their rows costs at least one stored bit.
bool isFax(int compression);

// Reads the facts of the TIFF's current directory; `fileSize` bounds the stored bytes.
PageFacts readPageFacts(TIFF* tiff, uint64_t fileSize);

// A page's resolution in dots per metre.
struct DotsPerMetre {
    uint32_t x = 0;
    uint32_t y = 0;
};

// The resolution of the TIFF's current directory as FreeImage's TIFF loader reads it, so that
// pages keep what they had when FreeImage decoded them: 300 dots per inch for a missing value, inches
// for a missing unit and for no unit when both values are positive, and dots per metre
// rounded by adding 0.5 and truncating. Pages in other units keep the 72 dots per inch of a
// new bitmap. nullopt where that rounding leaves the range of 32 bits (FreeImage's result is
// then undefined).
std::optional<DotsPerMetre> readDotsPerMetre(TIFF* tiff);

// Bytes of memory the page needs on its way through the chain: the decoded page and its copy
// in the worker, and the 32-bit working copies the steps make side by side.
uint64_t pageFootprint(const PageFacts& facts);

// Why the page must not be decoded, or empty. A page refuses when its footprint does not fit
// in `availableMemory`, or when its stored data could not possibly decode to the size its
// header claims (a decompression bomb: a few hundred bytes claiming gigabytes).
std::string pageBudgetProblem(const PageFacts& facts, uint64_t availableMemory);

} // namespace kx::decoder