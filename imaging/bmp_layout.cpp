#include "imaging/bmp_layout.h"

namespace kx::imaging {

uint64_t bmpFileSize(uint64_t width, uint64_t height, unsigned bitCount) {
    const uint64_t paletteEntries = bitCount <= 8 ? uint64_t{1} << bitCount : 0;
    // FreeImage's writer states colour masks after the info header for 16-bit pages only.
    const uint64_t masks = bitCount == 16 ? 12 : 0;
    return k_bmpHeadersSize + masks + 4 * paletteEntries + bmpRowPitch(width, bitCount) * height;
}

namespace {

// A shorter run costs more, once the absolute run it interrupts is resumed, than it saves.
constexpr uint32_t k_minRle4Run = 4;
constexpr uint32_t k_maxRleCount = 255;

uint8_t nibbleAt(const uint8_t* row, uint32_t x) {
    return static_cast<uint8_t>(x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F);
}

// Pixels from `x` on that repeat the pair at `x` and `x + 1`, at most one run's count.
uint32_t rle4RunAt(const uint8_t* row, uint32_t x, uint32_t width) {
    uint32_t count = 1;
    while (x + count < width && count < k_maxRleCount &&
           (count < 2 || nibbleAt(row, x + count) == nibbleAt(row, x + count - 2)))
        ++count;
    return count;
}

void appendRle4Run(const uint8_t* row, uint32_t x, uint32_t count, std::string& out) {
    const uint8_t second = count > 1 ? nibbleAt(row, x + 1) : 0;
    out += static_cast<char>(count);
    out += static_cast<char>(nibbleAt(row, x) << 4 | second);
}

void appendRle4Absolute(const uint8_t* row, uint32_t x, uint32_t count, std::string& out) {
    out += static_cast<char>(0);
    out += static_cast<char>(count);
    const uint32_t bytes = (count + 1) / 2;
    for (uint32_t i = 0; i < count; i += 2) {
        const uint8_t low = i + 1 < count ? nibbleAt(row, x + i + 1) : 0;
        out += static_cast<char>(nibbleAt(row, x + i) << 4 | low);
    }
    if (bytes % 2 == 1)
        out += static_cast<char>(0);
}

} // namespace

void appendRle4Row(const uint8_t* row, uint32_t width, std::string& out) {
    for (uint32_t x = 0; x < width;) {
        const uint32_t run = rle4RunAt(row, x, width);
        if (run >= k_minRle4Run) {
            appendRle4Run(row, x, run, out);
            x += run;
            continue;
        }
        const uint32_t start = x;
        while (x < width && x - start < k_maxRleCount && rle4RunAt(row, x, width) < k_minRle4Run)
            ++x;
        // Absolute runs are at least three pixels long; one or two make a run of their own.
        if (x - start < 3)
            appendRle4Run(row, start, x - start, out);
        else
            appendRle4Absolute(row, start, x - start, out);
    }
}

void writeBmpHeaders(const BmpHeaders& headers, uint8_t* out) {
    out[0] = 'B';
    out[1] = 'M';
    putLe32(out + k_bmpFileSizeAt, static_cast<uint32_t>(headers.fileSize()));
    putLe32(out + k_bmpReservedAt, 0);
    putLe32(out + k_bmpDataOffsetAt, static_cast<uint32_t>(headers.dataOffset()));
    putLe32(out + k_bmpInfoSizeAt, static_cast<uint32_t>(k_bmpInfoHeaderSize));
    putLe32(out + k_bmpWidthAt, headers.width);
    putLe32(out + k_bmpHeightAt, headers.height);
    putLe16(out + k_bmpPlanesAt, 1);
    putLe16(out + k_bmpBitCountAt, headers.bitCount);
    putLe32(out + k_bmpCompressionAt, headers.compression);
    putLe32(out + k_bmpImageSizeAt, headers.imageSize);
    putLe32(out + k_bmpDotsPerMetreXAt, headers.dotsPerMetreX);
    putLe32(out + k_bmpDotsPerMetreYAt, headers.dotsPerMetreY);
    putLe32(out + k_bmpColoursUsedAt, headers.paletteEntries);
    putLe32(out + k_bmpColoursImportantAt, headers.paletteEntries);
}

} // namespace kx::imaging
