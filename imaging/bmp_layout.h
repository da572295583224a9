#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kx::imaging {

// The byte layout of a BMP file with the 40-byte info header, as FreeImage's BMP writer lays
// it out: the file header, the info header, the colour table (4 bytes an entry) and the rows,
// bottom row first, each padded to a multiple of 4 bytes. Both BMP writers (the chain's and
// the decoder's direct one) write their headers through this. Plain functions, any thread.

inline constexpr size_t k_bmpFileHeaderSize = 14;
inline constexpr size_t k_bmpInfoHeaderSize = 40;
inline constexpr size_t k_bmpHeadersSize = k_bmpFileHeaderSize + k_bmpInfoHeaderSize;

// Offsets of the header fields from the start of the file.
inline constexpr size_t k_bmpFileSizeAt = 2;
inline constexpr size_t k_bmpReservedAt = 6; // two 16-bit fields, always 0
inline constexpr size_t k_bmpDataOffsetAt = 10;
inline constexpr size_t k_bmpInfoSizeAt = 14;
inline constexpr size_t k_bmpWidthAt = 18;
inline constexpr size_t k_bmpHeightAt = 22;
inline constexpr size_t k_bmpPlanesAt = 26;
inline constexpr size_t k_bmpBitCountAt = 28;
inline constexpr size_t k_bmpCompressionAt = 30;
inline constexpr size_t k_bmpImageSizeAt = 34;
inline constexpr size_t k_bmpDotsPerMetreXAt = 38;
inline constexpr size_t k_bmpDotsPerMetreYAt = 42;
inline constexpr size_t k_bmpColoursUsedAt = 46;
inline constexpr size_t k_bmpColoursImportantAt = 50;

// Values of the compression field.
inline constexpr uint32_t k_bmpUncompressed = 0;
inline constexpr uint32_t k_bmpRle8 = 1;
inline constexpr uint32_t k_bmpRle4 = 2;

// Run-length data is pairs of bytes: a count and the index it repeats, or 0 and one of these
// escape codes. Any other code after a 0 starts an absolute run of that many indices, padded
// to a whole number of 16-bit words. At 4 bits the repeated byte holds two indices, which
// alternate (so a count of 2 holds any two pixels), and absolute runs pack two to a byte.
inline constexpr uint8_t k_bmpRleEndOfLine = 0;
inline constexpr uint8_t k_bmpRleEndOfBitmap = 1;
inline constexpr uint8_t k_bmpRleDelta = 2; // then two bytes: pixels to the right, rows on

// What the file and info headers state.
struct BmpHeaders {
    uint32_t width = 0;
    uint32_t height = 0; // positive: the rows are listed bottom-up
    uint16_t bitCount = 0;
    uint32_t compression = k_bmpUncompressed;
    uint32_t paletteEntries = 0; // colour table entries, also stated as used and important
    uint64_t pixelBytes = 0;     // bytes of pixel data after the colour table
    uint32_t imageSize = 0;      // the stated size of the pixel data; 0 is allowed uncompressed
    uint32_t dotsPerMetreX = 0;
    uint32_t dotsPerMetreY = 0;

    // Where the pixel data starts: after the headers and the colour table.
    uint64_t dataOffset() const { return k_bmpHeadersSize + 4 * uint64_t{paletteEntries}; }
    // Bytes of the whole file.
    uint64_t fileSize() const { return dataOffset() + pixelBytes; }
};

// Bytes of one row of `width` pixels of `bitCount` bits, padded to a multiple of 4.
constexpr uint64_t bmpRowPitch(uint64_t width, unsigned bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

// Size in bytes of the uncompressed BMP file FreeImage writes for a page of this size and
// depth (headers, colour masks or table, and rows padded to 4 bytes).
uint64_t bmpFileSize(uint64_t width, uint64_t height, unsigned bitCount);

// Appends the 4-bit run-length coding of one row of `width` pixels, packed two to a byte from
// the high nibble down as in a 4-bit bitmap, without the end-of-line or end-of-bitmap code
// that follows it. Runs of at least four pixels repeating one index, or alternating two, are
// coded as runs; what lies between them as absolute runs, or as a run of its one or two
// pixels.
void appendRle4Row(const uint8_t* row, uint32_t width, std::string& out);

// Writes the file and info headers (k_bmpHeadersSize bytes) at `out`. The file size must fit
// in the 32-bit size field; the caller checks fileSize() first.
void writeBmpHeaders(const BmpHeaders& headers, uint8_t* out);

// Little-endian fields.
inline void putLe16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

inline void putLe32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint16_t readLe16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

inline uint32_t readLe32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

} // namespace kx::imaging
