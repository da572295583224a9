#include "imaging/bmp_layout.h"

namespace kx::imaging {

uint64_t bmpFileSize(uint64_t width, uint64_t height, unsigned bitCount) {
    const uint64_t paletteEntries = bitCount <= 8 ? uint64_t{1} << bitCount : 0;
    // FreeImage's writer states colour masks after the info header for 16-bit pages only.
    const uint64_t masks = bitCount == 16 ? 12 : 0;
    return k_bmpHeadersSize + masks + 4 * paletteEntries + bmpRowPitch(width, bitCount) * height;
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
