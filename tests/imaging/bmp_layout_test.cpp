#include "imaging/bitmap.h"
#include "imaging/bmp_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kx::imaging {
namespace {

// FreeImage's BMP of a fresh bitmap, the reference for the headers written here.
std::string freeImageBmp(unsigned width, unsigned height, unsigned bitCount) {
    const Bitmap page(FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height),
                                         static_cast<int>(bitCount)));
    FreeImage_SetDotsPerMeterX(page.get(), 3937);
    FreeImage_SetDotsPerMeterY(page.get(), 11811);
    MemoryStream memory(FreeImage_OpenMemory());
    FreeImage_SaveToMemory(FIF_BMP, page.get(), memory.get(), BMP_DEFAULT);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory.get(), &data, &size);
    return std::string(reinterpret_cast<char*>(data), size);
}

struct LayoutCase {
    unsigned width;
    unsigned height;
    unsigned bitCount;
    uint64_t pitch;
};

class BmpLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(BmpLayout, HeadersAndSizeAreThoseOfFreeImagesWriter) {
    const LayoutCase c = GetParam();
    EXPECT_EQ(bmpRowPitch(c.width, c.bitCount), c.pitch);
    const std::string reference = freeImageBmp(c.width, c.height, c.bitCount);
    EXPECT_EQ(bmpFileSize(c.width, c.height, c.bitCount), reference.size());
    if (c.bitCount == 16)
        return; // colour masks follow FreeImage's info header
    BmpHeaders headers;
    headers.width = c.width;
    headers.height = c.height;
    headers.bitCount = static_cast<uint16_t>(c.bitCount);
    headers.paletteEntries = c.bitCount <= 8 ? 1u << c.bitCount : 0;
    headers.pixelBytes = c.pitch * c.height;
    headers.dotsPerMetreX = 3937;
    headers.dotsPerMetreY = 11811;
    EXPECT_EQ(headers.fileSize(), reference.size());
    std::vector<uint8_t> written(k_bmpHeadersSize);
    writeBmpHeaders(headers, written.data());
    EXPECT_EQ(std::string(written.begin(), written.end()), reference.substr(0, k_bmpHeadersSize));
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpLayout,
                         ::testing::Values(LayoutCase{33, 1, 1, 8}, LayoutCase{1, 2, 1, 4},
                                           LayoutCase{9, 3, 4, 8}, LayoutCase{10, 2, 8, 12},
                                           LayoutCase{3, 1, 16, 8}, LayoutCase{5, 3, 24, 16},
                                           LayoutCase{3, 1, 32, 12}));

TEST(BmpLayout, FileSizeAtTheLimitOfTheSizeFields) {
    // The largest 24-bit square that still fits, and the next size up.
    EXPECT_LE(bmpFileSize(37837, 37837, 24), 0xFFFFFFFFu);
    EXPECT_GT(bmpFileSize(37838, 37838, 24), 0xFFFFFFFFu);
}

TEST(BmpLayout, HeadersStateCompressionImageSizeAndTable) {
    BmpHeaders headers;
    headers.width = 13;
    headers.height = 5;
    headers.bitCount = 8;
    headers.compression = k_bmpRle8;
    headers.paletteEntries = 10;
    headers.pixelBytes = 77;
    headers.imageSize = 77;
    EXPECT_EQ(headers.dataOffset(), 94u);
    EXPECT_EQ(headers.fileSize(), 171u);
    std::vector<uint8_t> out(k_bmpHeadersSize, 0xEE);
    writeBmpHeaders(headers, out.data());
    EXPECT_EQ(readLe32(&out[k_bmpFileSizeAt]), 171u);
    EXPECT_EQ(readLe32(&out[k_bmpReservedAt]), 0u);
    EXPECT_EQ(readLe32(&out[k_bmpDataOffsetAt]), 94u);
    EXPECT_EQ(readLe32(&out[k_bmpCompressionAt]), 1u);
    EXPECT_EQ(readLe32(&out[k_bmpImageSizeAt]), 77u);
    EXPECT_EQ(readLe32(&out[k_bmpColoursUsedAt]), 10u);
    EXPECT_EQ(readLe32(&out[k_bmpColoursImportantAt]), 10u);
    EXPECT_EQ(readLe16(&out[k_bmpPlanesAt]), 1u);
}

TEST(BmpLayout, LittleEndianFields) {
    uint8_t bytes[4] = {};
    putLe32(bytes, 0x12345678);
    EXPECT_EQ(bytes[0], 0x78);
    EXPECT_EQ(bytes[3], 0x12);
    EXPECT_EQ(readLe32(bytes), 0x12345678u);
    putLe16(bytes, 0xBEEF);
    EXPECT_EQ(bytes[0], 0xEF);
    EXPECT_EQ(readLe16(bytes), 0xBEEFu);
}

} // namespace
} // namespace kx::imaging
