#include "imaging/bitmap.h"
#include "imaging/page_transforms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace kx::imaging {
namespace {

// The bits of pixel (x, y), counting rows from the top, as an unsigned number.
uint64_t pixelBits(FIBITMAP* page, unsigned x, unsigned y) {
    const unsigned bpp = FreeImage_GetBPP(page);
    const BYTE* row = FreeImage_GetScanLine(page, int(FreeImage_GetHeight(page) - 1 - y));
    if (bpp < 8)
        return (row[x * bpp / 8] >> (8 - bpp - x * bpp % 8)) & ((1u << bpp) - 1);
    uint64_t value = 0;
    std::memcpy(&value, row + x * bpp / 8, std::min(bpp / 8, 8u));
    return value;
}

// A page whose pixel bytes (and bits below a byte) differ from their neighbours'.
Bitmap numberedPage(FREE_IMAGE_TYPE type, unsigned bpp, unsigned width, unsigned height) {
    Bitmap page(
        FreeImage_AllocateT(type, int(width), int(height), int(bpp), 0xF800, 0x07E0, 0x001F));
    for (unsigned y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(page.get(), int(y));
        for (unsigned i = 0; i < FreeImage_GetPitch(page.get()); ++i)
            row[i] = static_cast<BYTE>(i * 37 + y * 101 + 1);
    }
    FreeImage_SetDotsPerMeterX(page.get(), 11811);
    FreeImage_SetDotsPerMeterY(page.get(), 3937);
    return page;
}

TEST(Transposed, RowsBecomeColumnsAtEveryDepth) {
    const struct {
        const char* name;
        FREE_IMAGE_TYPE type;
        unsigned bpp;
    } cases[] = {
        {"1-bit", FIT_BITMAP, 1},       {"4-bit", FIT_BITMAP, 4},   {"8-bit", FIT_BITMAP, 8},
        {"16-bit-565", FIT_BITMAP, 16}, {"24-bit", FIT_BITMAP, 24}, {"32-bit", FIT_BITMAP, 32},
        {"uint16", FIT_UINT16, 16},     {"float", FIT_FLOAT, 32},   {"rgb16", FIT_RGB16, 48},
        {"rgbf", FIT_RGBF, 96},         {"rgbaf", FIT_RGBAF, 128}};
    for (const auto& c : cases) {
        const Bitmap page = numberedPage(c.type, c.bpp, 13, 5);
        if (c.bpp <= 8)
            FreeImage_GetPalette(page.get())[1] = RGBQUAD{1, 2, 3, 0};
        const Bitmap turned = transposed(page.get());
        ASSERT_TRUE(turned) << c.name;
        EXPECT_EQ(FreeImage_GetImageType(turned.get()), c.type) << c.name;
        EXPECT_EQ(FreeImage_GetBPP(turned.get()), c.bpp) << c.name;
        EXPECT_EQ(FreeImage_GetWidth(turned.get()), 5u) << c.name;
        EXPECT_EQ(FreeImage_GetHeight(turned.get()), 13u) << c.name;
        EXPECT_EQ(FreeImage_GetDotsPerMeterX(turned.get()), 3937u) << c.name;
        EXPECT_EQ(FreeImage_GetDotsPerMeterY(turned.get()), 11811u) << c.name;
        EXPECT_EQ(FreeImage_GetGreenMask(turned.get()), FreeImage_GetGreenMask(page.get()));
        if (c.bpp <= 8) {
            EXPECT_EQ(FreeImage_GetPalette(turned.get())[1].rgbGreen, 2) << c.name;
        }
        for (unsigned y = 0; y < 13; ++y) {
            for (unsigned x = 0; x < 5; ++x) {
                ASSERT_EQ(pixelBits(turned.get(), x, y), pixelBits(page.get(), y, x))
                    << c.name << " at " << x << ", " << y;
            }
        }
    }
    EXPECT_FALSE(transposed(nullptr));
}

} // namespace
} // namespace kx::imaging
