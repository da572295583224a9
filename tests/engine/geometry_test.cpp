#include "engine/geometry.h"
#include "imaging/bitmap.h"
#include "tests/support/image_compare.h"
#include "tests/support/pipeline_pages.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

namespace kx::engine {
namespace {

using test::pixelAt;
using test::Rgb;
using namespace test::pages;

settings::Settings rotation(int angle, int type = 0, std::string backColor = "000000") {
    settings::Settings settings;
    settings.doImageRotation = 1;
    settings.imageRotation = angle;
    settings.imageRotationType = static_cast<int8_t>(type);
    settings.imageRotationBackColor = std::move(backColor);
    return settings;
}

settings::Settings resize(int width, int height, bool keepAspect = false, int type = 0) {
    settings::Settings settings;
    settings.doImageResize = 1;
    settings.imageWidth = width;
    settings.imageHeight = height;
    settings.keepAspectRatio = keepAspect ? 1 : 0;
    settings.imageResizeType = static_cast<int8_t>(type);
    return settings;
}

imaging::Bitmap bilevel(int width, int height) {
    return indexedPage(
        width, height, [](int x, int y) { return (x + y) % 2; }, 1);
}

std::pair<unsigned, unsigned> sizeOf(const imaging::Bitmap& page) {
    return {FreeImage_GetWidth(page.get()), FreeImage_GetHeight(page.get())};
}

TEST(ResolveSize, PixelsPercentAndOtherUnits) {
    const std::tuple<int, int, int, int> cases[] = {
        {123, 0, 999, 123},
        {50, 1, 301, 150},
        {50, 1, 303, 152},
        {50, 1, 302, 151},
        {25, 1, 2, 0},
        {75, 1, 2, 2},
        {33, 1, 200, 66},
        {-50, 1, 301, -150},
        {-50, 1, 303, -152},
        {50, 2, 100, 0},
        {50, -1, 100, 0},
        {INT_MAX, 1, INT_MAX, INT_MAX},
        {INT_MIN, 1, INT_MAX, INT_MIN},
        {100, 1, INT_MAX, INT_MAX},
    };
    for (const auto& [value, unit, current, expected] : cases)
        EXPECT_EQ(resolveSize(value, unit, current), expected)
            << value << " unit " << unit << " of " << current;
}

TEST(RotateImage, QuarterTurnIsCounterClockwise) {
    const int width = 5;
    const int height = 3;
    imaging::Bitmap page = patternPage(width, height);
    imaging::Bitmap expected = colourPage(
        height, width, [&](int x, int y) { return test::patternColour(width - 1 - y, x); });
    imaging::Bitmap turned = rotateImage(std::move(page), rotation(90));
    EXPECT_TRUE(test::imagesMatch(turned.get(), expected.get()));
}

TEST(RotateImage, QuarterTurnSwapsResolutionOtherAnglesKeepIt) {
    imaging::Bitmap quarter = rotateImage(patternPage(4, 2), rotation(270));
    ASSERT_TRUE(quarter);
    EXPECT_EQ(FreeImage_GetDotsPerMeterX(quarter.get()), k_dotsY);
    EXPECT_EQ(FreeImage_GetDotsPerMeterY(quarter.get()), k_dotsX);
    EXPECT_TRUE(keptResolution(rotateImage(patternPage(4, 2), rotation(45)).get()));
    EXPECT_TRUE(keptResolution(rotateImage(patternPage(4, 2), rotation(90, 1)).get()));
    EXPECT_TRUE(keptResolution(
        rotateImage(indexedPage(4, 2, [](int, int) { return 9; }), rotation(30, 7)).get()));
}

TEST(RotateImage, CornersTakeTheBackColour) {
    const Rgb white{255, 255, 255};
    imaging::Bitmap red = rotateImage(solidPage(20, 20, white), rotation(45, 0, "FF0000"));
    ASSERT_TRUE(red);
    EXPECT_GT(FreeImage_GetWidth(red.get()), 20u);
    const test::Rgba corner = pixelAt(red.get(), 0, 0);
    EXPECT_EQ(std::tie(corner.r, corner.g, corner.b), std::make_tuple(255, 0, 0));

    imaging::Bitmap black = rotateImage(solidPage(20, 20, white), rotation(45, 0, "red"));
    ASSERT_TRUE(black);
    const test::Rgba invalid = pixelAt(black.get(), 0, 0);
    EXPECT_EQ(std::tie(invalid.r, invalid.g, invalid.b), std::make_tuple(0, 0, 0));
    const test::Rgba centre = pixelAt(black.get(), FreeImage_GetWidth(black.get()) / 2,
                                      FreeImage_GetHeight(black.get()) / 2);
    EXPECT_EQ(std::tie(centre.r, centre.g, centre.b), std::make_tuple(255, 255, 255));
}

TEST(RotateImage, AdvancedRotationKeepsTheCanvas) {
    imaging::Bitmap turned = rotateImage(patternPage(21, 11), rotation(45, 1));
    ASSERT_TRUE(turned);
    EXPECT_EQ(sizeOf(turned), std::make_pair(21u, 11u));
}

TEST(RotateImage, AdvancedQuarterTurnMovesPixelsExactly) {
    // Half turn: every pixel lands on its mirror position, with no filler.
    imaging::Bitmap half = rotateImage(patternPage(9, 5), rotation(180, 1));
    imaging::Bitmap halfExpected =
        colourPage(9, 5, [](int x, int y) { return test::patternColour(8 - x, 4 - y); });
    EXPECT_TRUE(test::imagesMatch(half.get(), halfExpected.get()));
    // Quarter turn of a 10 x 4 canvas: the turned page's middle 4 columns fill columns 3 to 6.
    imaging::Bitmap quarter = rotateImage(patternPage(10, 4), rotation(90, 1));
    ASSERT_TRUE(quarter);
    EXPECT_EQ(sizeOf(quarter), std::make_pair(10u, 4u));
    for (int y = 0; y < 4; ++y) {
        for (int x = 3; x < 7; ++x) {
            const Rgb want = test::patternColour(9 - (y + 3), x - 3);
            const test::Rgba got = pixelAt(quarter.get(), x, y);
            EXPECT_EQ(std::tie(got.r, got.g, got.b), std::make_tuple(want.r, want.g, want.b))
                << x << ", " << y;
        }
    }
}

TEST(RotateImage, EightBitPageComesOutTwentyFourBits) {
    imaging::Bitmap turned =
        rotateImage(indexedPage(6, 4, [](int x, int) { return x * 40; }), rotation(90));
    ASSERT_TRUE(turned);
    EXPECT_EQ(FreeImage_GetBPP(turned.get()), 24u);
    EXPECT_EQ(sizeOf(turned), std::make_pair(4u, 6u));
}

TEST(RotateImage, UnknownTypeConvertsButDoesNotTurn) {
    imaging::Bitmap page =
        rotateImage(indexedPage(6, 4, [](int x, int) { return x * 40; }), rotation(90, 2));
    ASSERT_TRUE(page);
    EXPECT_EQ(FreeImage_GetBPP(page.get()), 24u);
    EXPECT_EQ(sizeOf(page), std::make_pair(6u, 4u));
}

TEST(RotateImage, AnglesOutsideOneTo359DoNothing) {
    for (const int angle : {0, 360, -90, 450}) {
        imaging::Bitmap page = indexedPage(6, 4, [](int x, int) { return x; });
        FIBITMAP* original = page.get();
        imaging::Bitmap same = rotateImage(std::move(page), rotation(angle));
        EXPECT_EQ(same.get(), original) << angle;
        EXPECT_EQ(FreeImage_GetBPP(same.get()), 8u) << angle;
    }
    settings::Settings off = rotation(90);
    off.doImageRotation = 0;
    imaging::Bitmap page = patternPage(3, 2);
    FIBITMAP* original = page.get();
    EXPECT_EQ(rotateImage(std::move(page), off).get(), original);
}

TEST(RotateImage, SmallAndNonStandardPagesSurvive) {
    for (const int type : {0, 1}) {
        EXPECT_TRUE(rotateImage(patternPage(1, 1), rotation(359, type))) << type;
        EXPECT_TRUE(rotateImage(bilevel(1, 1), rotation(1, type))) << type;
        for (const FREE_IMAGE_TYPE pixelType : {FIT_UINT16, FIT_RGBF, FIT_RGB16, FIT_FLOAT}) {
            imaging::Bitmap turned = rotateImage(typedPage(pixelType, 7, 5), rotation(90, type));
            ASSERT_TRUE(turned) << pixelType;
            EXPECT_EQ(FreeImage_GetImageType(turned.get()), FIT_BITMAP);
            EXPECT_EQ(FreeImage_GetBPP(turned.get()), 24u);
        }
    }
    EXPECT_FALSE(rotateImage(nullptr, rotation(90)));
}

TEST(ResizeImage, PercentRoundsHalfToEven) {
    settings::Settings half = resize(50, 100);
    half.imageWidthUnit = 1;
    half.imageHeightUnit = 1;
    EXPECT_EQ(sizeOf(resizeImage(bilevel(301, 3), half)), std::make_pair(150u, 3u));
    EXPECT_EQ(sizeOf(resizeImage(bilevel(303, 3), half)), std::make_pair(152u, 3u));
}

TEST(ResizeImage, KeepAspectUsesTheLongerSide) {
    EXPECT_EQ(sizeOf(resizeImage(bilevel(4000, 3000), resize(800, 800, true))),
              std::make_pair(800u, 600u));
    EXPECT_EQ(sizeOf(resizeImage(bilevel(3000, 4000), resize(800, 800, true))),
              std::make_pair(600u, 800u));
    EXPECT_EQ(sizeOf(resizeImage(bilevel(40, 30), resize(80, 1, true))), std::make_pair(80u, 60u));
    EXPECT_EQ(sizeOf(resizeImage(bilevel(1000, 1), resize(10, 10, true))), std::make_pair(10u, 1u));
    EXPECT_EQ(sizeOf(resizeImage(bilevel(1, 1000), resize(10, 10, true))), std::make_pair(1u, 10u));
}

TEST(ResizeImage, LargeImagesNeverEnlarge) {
    const struct {
        const char* name;
        unsigned width, height;
        bool keepAspect;
        unsigned newWidth, newHeight;
    } cases[] = {
        {"smaller-both-ways", 640, 480, false, 640, 480},
        {"larger-both-ways", 1000, 800, false, 800, 600},
        {"wider-only", 1000, 500, false, 800, 500},
        {"taller-only", 700, 900, false, 700, 600},
        {"width-at-target", 800, 700, false, 800, 600},
        {"keep-aspect-wider", 1000, 500, true, 800, 400},
        {"keep-aspect-taller", 300, 1200, true, 150, 600},
        {"keep-aspect-would-widen", 700, 650, true, 700, 650},
        {"keep-aspect-smaller", 640, 480, true, 640, 480},
    };
    for (const auto& c : cases) {
        const imaging::Bitmap page =
            resizeImage(bilevel(c.width, c.height), resize(800, 600, c.keepAspect, 1));
        EXPECT_EQ(sizeOf(page), std::make_pair(c.newWidth, c.newHeight)) << c.name;
    }
    // "All Images" enlarges.
    EXPECT_EQ(sizeOf(resizeImage(bilevel(640, 480), resize(800, 600))), std::make_pair(800u, 600u));
}

TEST(ResizeImage, UnusableTargetsLeaveThePage) {
    const std::pair<int, int> targets[] = {{0, 10}, {10, 0}, {-5, 10}, {10, -5}, {8, 6}};
    for (const auto& [width, height] : targets) {
        imaging::Bitmap page = patternPage(8, 6);
        FIBITMAP* original = page.get();
        EXPECT_EQ(resizeImage(std::move(page), resize(width, height)).get(), original)
            << width << " x " << height;
    }
    settings::Settings unknownUnit = resize(10, 10);
    unknownUnit.imageWidthUnit = 5;
    imaging::Bitmap page = patternPage(8, 6);
    FIBITMAP* original = page.get();
    EXPECT_EQ(resizeImage(std::move(page), unknownUnit).get(), original);
    EXPECT_FALSE(resizeImage(nullptr, resize(10, 10)));
}

TEST(ResizeImage, AbsurdSizesFailCleanly) {
    EXPECT_FALSE(resizeImage(bilevel(8, 8), resize(100000, 100000)));
    EXPECT_FALSE(resizeImage(bilevel(8, 8), resize(INT_MAX, INT_MAX)));
    EXPECT_FALSE(resizeImage(bilevel(8, 8), resize(INT_MAX, 1)));
    settings::Settings percent = resize(INT_MAX, INT_MAX, true);
    percent.imageWidthUnit = 1;
    EXPECT_FALSE(resizeImage(bilevel(8, 8), percent));
}

TEST(ResizeImage, AlgorithmSelectsTheFilter) {
    const std::pair<int, FREE_IMAGE_FILTER> table[] = {
        {0, FILTER_BOX},        {1, FILTER_BILINEAR}, {2, FILTER_BSPLINE}, {3, FILTER_BICUBIC},
        {4, FILTER_CATMULLROM}, {5, FILTER_LANCZOS3}, {6, FILTER_BICUBIC}, {-1, FILTER_BICUBIC},
    };
    for (const auto& [algorithm, filter] : table) {
        settings::Settings settings = resize(13, 9);
        settings.imageResizeAlgorithm = static_cast<int8_t>(algorithm);
        imaging::Bitmap source = patternPage(7, 5);
        imaging::Bitmap expected(FreeImage_Rescale(source.get(), 13, 9, filter));
        imaging::Bitmap resized = resizeImage(std::move(source), settings);
        EXPECT_TRUE(test::imagesMatch(resized.get(), expected.get())) << algorithm;
        EXPECT_TRUE(keptResolution(resized.get())) << algorithm;
    }
}

TEST(FlipImage, HorizontalThenVerticalAtEveryDepth) {
    // Odd widths leave a part of the last byte of each row unused at 1 and 4 bits.
    const struct {
        const char* name;
        int bpp, width;
    } cases[] = {{"1-bit", 1, 13},
                 {"4-bit", 4, 5},
                 {"4-bit-even", 4, 6},
                 {"8-bit", 8, 5},
                 {"24-bit", 24, 5}};
    const int height = 3;
    for (const auto& c : cases) {
        const auto page = [&](bool horizontal, bool vertical) {
            const auto index = [&](int x, int y) {
                return ((horizontal ? c.width - 1 - x : x) * 5 + (vertical ? height - 1 - y : y)) %
                       (c.bpp == 1 ? 2 : 16);
            };
            if (c.bpp < 24)
                return indexedPage(c.width, height, index, c.bpp);
            return colourPage(c.width, height,
                              [&](int x, int y) { return test::patternColour(index(x, y), 0); });
        };
        for (const bool horizontal : {false, true}) {
            for (const bool vertical : {false, true}) {
                settings::Settings settings;
                settings.doImageFlipHorizontal = horizontal;
                settings.doImageFlipVertical = vertical;
                imaging::Bitmap flipped = page(false, false);
                flipImage(flipped.get(), settings);
                EXPECT_TRUE(test::imagesMatch(flipped.get(), page(horizontal, vertical).get()))
                    << c.name << " " << horizontal << vertical;
                EXPECT_TRUE(keptResolution(flipped.get())) << c.name;
            }
        }
    }
    settings::Settings both;
    both.doImageFlipHorizontal = 1;
    flipImage(nullptr, both);
}

} // namespace
} // namespace kx::engine
