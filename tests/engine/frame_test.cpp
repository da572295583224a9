#include "engine/frame.h"
#include "imaging/bitmap.h"
#include "tests/support/gui_app.h"
#include "tests/support/image_compare.h"

#include <gtest/gtest.h>

#include <climits>

namespace kx::engine {
namespace {

using test::pixelAt;
using test::Rgba;

imaging::Bitmap plainPage(int width, int height, int bpp, BYTE grey) {
    imaging::Bitmap page(FreeImage_Allocate(width, height, bpp));
    if (bpp == 8) {
        RGBQUAD* palette = FreeImage_GetPalette(page.get());
        for (int i = 0; i < 256; ++i)
            palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    }
    for (int y = 0; y < height; ++y)
        memset(FreeImage_GetScanLine(page.get(), y), grey, FreeImage_GetPitch(page.get()));
    FreeImage_SetDotsPerMeterX(page.get(), 11811);
    FreeImage_SetDotsPerMeterY(page.get(), 5906);
    return page;
}

settings::Settings frameSettings(int width) {
    settings::Settings s;
    settings::applyDefaults(s, true);
    s.doFrame = 1;
    s.solidLeft = s.solidRight = s.solidTop = s.solidBottom = width;
    s.solidTopColor = "FF0000";
    s.solidRightColor = "00FF00";
    s.solidBottomColor = "0000FF";
    s.solidLeftColor = "FFFF00";
    s.solidOpacity = 255;
    return s;
}

::testing::AssertionResult hasColour(FIBITMAP* page, int x, int y, Rgba want, int delta = 0) {
    const Rgba got = pixelAt(page, x, y);
    if (std::abs(got.r - want.r) <= delta && std::abs(got.g - want.g) <= delta &&
        std::abs(got.b - want.b) <= delta)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << x << ", " << y << ") is " << got.r << "," << got.g << "," << got.b << " not "
           << want.r << "," << want.g << "," << want.b;
}

constexpr Rgba k_top{255, 0, 0, 255}, k_right{0, 255, 0, 255}, k_bottom{0, 0, 255, 255},
    k_left{255, 255, 0, 255}, k_grey{128, 128, 128, 255};

class FrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureGuiApplication(); }
};

TEST_F(FrameTest, TenPixelBordersTakeTheirColoursAndSplitEachCornerAlongItsDiagonal) {
    const imaging::Bitmap page = drawFrame(plainPage(100, 50, 24, 128), frameSettings(10));
    ASSERT_TRUE(page);
    EXPECT_EQ(FreeImage_GetBPP(page.get()), 24u);
    EXPECT_EQ(FreeImage_GetDotsPerMeterX(page.get()), 11811u);
    EXPECT_EQ(FreeImage_GetDotsPerMeterY(page.get()), 5906u);
    FIBITMAP* p = page.get();
    EXPECT_TRUE(hasColour(p, 50, 0, k_top));
    EXPECT_TRUE(hasColour(p, 50, 9, k_top));
    EXPECT_TRUE(hasColour(p, 50, 10, k_grey));
    EXPECT_TRUE(hasColour(p, 99, 25, k_right));
    EXPECT_TRUE(hasColour(p, 90, 25, k_right));
    EXPECT_TRUE(hasColour(p, 89, 25, k_grey));
    EXPECT_TRUE(hasColour(p, 50, 49, k_bottom));
    EXPECT_TRUE(hasColour(p, 50, 40, k_bottom));
    EXPECT_TRUE(hasColour(p, 0, 25, k_left));
    EXPECT_TRUE(hasColour(p, 9, 25, k_left));
    EXPECT_TRUE(hasColour(p, 10, 25, k_grey));
    // Top-left: above the diagonal from (0, 0) to (10, 10) is top, below it left.
    EXPECT_TRUE(hasColour(p, 5, 2, k_top));
    EXPECT_TRUE(hasColour(p, 6, 5, k_top));
    EXPECT_TRUE(hasColour(p, 5, 6, k_left));
    EXPECT_TRUE(hasColour(p, 2, 5, k_left));
    // Top-right: diagonal from (100, 0) to (90, 10).
    EXPECT_TRUE(hasColour(p, 92, 2, k_top));
    EXPECT_TRUE(hasColour(p, 97, 5, k_right));
    // Bottom-left: diagonal from (0, 50) to (10, 40).
    EXPECT_TRUE(hasColour(p, 2, 45, k_left));
    EXPECT_TRUE(hasColour(p, 7, 48, k_bottom));
    // Bottom-right: diagonal from (100, 50) to (90, 40).
    EXPECT_TRUE(hasColour(p, 97, 42, k_right));
    EXPECT_TRUE(hasColour(p, 92, 48, k_bottom));
}

TEST_F(FrameTest, OpacityBlendsTheFrameWithThePage) {
    settings::Settings s = frameSettings(10);
    s.solidOpacity = 128;
    s.solidTopColor = "000000";
    const imaging::Bitmap page = drawFrame(plainPage(100, 50, 24, 255), s);
    // 255 x (1 - 128/255) = 127; one level either way for rounding.
    EXPECT_TRUE(hasColour(page.get(), 50, 5, {127, 127, 127, 255}, 1));
    EXPECT_TRUE(hasColour(page.get(), 50, 25, {255, 255, 255, 255}));
}

TEST_F(FrameTest, OnlyFrameTypeOneDraws) {
    settings::Settings s = frameSettings(10);
    s.doFrame = 2;
    imaging::Bitmap page = drawFrame(plainPage(100, 50, 8, 77), s);
    ASSERT_TRUE(page);
    EXPECT_EQ(FreeImage_GetBPP(page.get()), 24u);
    EXPECT_EQ(FreeImage_GetDotsPerMeterX(page.get()), 11811u);
    EXPECT_TRUE(hasColour(page.get(), 0, 0, {77, 77, 77, 255}));

    s.doFrame = 0;
    page = drawFrame(plainPage(100, 50, 8, 77), s);
    EXPECT_EQ(FreeImage_GetBPP(page.get()), 8u);
    EXPECT_FALSE(drawFrame(nullptr, frameSettings(10)));
}

TEST_F(FrameTest, AbsurdWidthsAndSizesDrawWithoutHarm) {
    for (const int width : {51, 100, 1000, INT_MAX, -1, -50, INT_MIN}) {
        SCOPED_TRACE(width);
        for (const auto& [w, h] : {std::pair{100, 50}, std::pair{1, 1}, std::pair{1, 300}}) {
            const imaging::Bitmap page = drawFrame(plainPage(w, h, 24, 128), frameSettings(width));
            ASSERT_TRUE(page);
            EXPECT_EQ(FreeImage_GetWidth(page.get()), unsigned(w));
            EXPECT_EQ(FreeImage_GetHeight(page.get()), unsigned(h));
        }
    }
    // FreeImage makes no page of 0 x 0 pixels: such a page arrives as none, and none comes out.
    imaging::Bitmap empty(FreeImage_Allocate(0, 0, 24));
    ASSERT_FALSE(empty);
    EXPECT_FALSE(drawFrame(std::move(empty), frameSettings(10)));
    // Negative widths draw no border at all.
    const imaging::Bitmap page = drawFrame(plainPage(100, 50, 24, 128), frameSettings(-5));
    EXPECT_TRUE(hasColour(page.get(), 0, 0, k_grey));
    settings::Settings s = frameSettings(10);
    s.solidOpacity = 100000;
    EXPECT_TRUE(hasColour(drawFrame(plainPage(100, 50, 24, 128), s).get(), 50, 0, k_top));
    s.solidOpacity = -7;
    EXPECT_TRUE(hasColour(drawFrame(plainPage(100, 50, 24, 128), s).get(), 50, 0, k_grey));
}

} // namespace
} // namespace kx::engine
