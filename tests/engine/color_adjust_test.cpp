#include "engine/color_adjust.h"
#include "imaging/bitmap.h"
#include "tests/support/image_compare.h"
#include "tests/support/pipeline_pages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

namespace kx::engine {
namespace {

using test::pixelAt;
using namespace test::pages;

settings::Settings correction(bool invert, float gamma = 1.0f) {
    settings::Settings settings;
    settings.doImageColorCorrection = 1;
    settings.imageGamma = gamma;
    settings.imageInvert = invert ? 1 : 0;
    return settings;
}

settings::Settings threshold(int level) {
    settings::Settings settings;
    settings.doImageThreshold = 1;
    settings.imageThreshold = level;
    return settings;
}

settings::Settings dither(int algorithm) {
    settings::Settings settings;
    settings.doImageDither = 1;
    settings.imageDitherAlgorithm = static_cast<int8_t>(algorithm);
    return settings;
}

std::tuple<int, int, int> rgbAt(FIBITMAP* page, int x, int y) {
    const test::Rgba pixel = pixelAt(page, x, y);
    return {pixel.r, pixel.g, pixel.b};
}

imaging::Bitmap greyRamp(int width, int height) {
    return indexedPage(width, height, [&](int x, int y) { return (x * 4 + y) % 256; });
}

TEST(AdjustImageColors, InvertsInPlaceAndKeepsTheDepth) {
    imaging::Bitmap page = solidPage(3, 2, {10, 20, 30});
    FIBITMAP* original = page.get();
    imaging::Bitmap adjusted = adjustImageColors(std::move(page), correction(true));
    EXPECT_EQ(adjusted.get(), original);
    EXPECT_EQ(rgbAt(adjusted.get(), 2, 1), std::make_tuple(245, 235, 225));
}

TEST(AdjustImageColors, OneBitPageContinuesAsTwentyFourBits) {
    imaging::Bitmap page = indexedPage(
        4, 2, [](int x, int) { return x % 2; }, 1);
    imaging::Bitmap adjusted = adjustImageColors(std::move(page), correction(true));
    ASSERT_TRUE(adjusted);
    EXPECT_EQ(FreeImage_GetBPP(adjusted.get()), 24u);
    EXPECT_EQ(rgbAt(adjusted.get(), 0, 0), std::make_tuple(255, 255, 255));
    EXPECT_EQ(rgbAt(adjusted.get(), 1, 0), std::make_tuple(0, 0, 0));
    EXPECT_TRUE(keptResolution(adjusted.get()));
}

TEST(AdjustImageColors, UnusableGammaLeavesTheGammaAlone) {
    imaging::Bitmap expected = adjustImageColors(patternPage(5, 4), correction(false, 1.0f));
    for (const float gamma : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity()}) {
        imaging::Bitmap adjusted = adjustImageColors(patternPage(5, 4), correction(false, gamma));
        EXPECT_TRUE(test::imagesMatch(adjusted.get(), expected.get())) << gamma;
    }
}

TEST(AdjustImageColors, NonStandardPagesAreNotLost) {
    for (const FREE_IMAGE_TYPE type : {FIT_UINT16, FIT_RGBF, FIT_FLOAT}) {
        imaging::Bitmap adjusted = adjustImageColors(typedPage(type, 4, 3), correction(true));
        ASSERT_TRUE(adjusted) << type;
        EXPECT_EQ(FreeImage_GetBPP(adjusted.get()), 24u);
        EXPECT_TRUE(keptResolution(adjusted.get()));
    }
}

TEST(GreyscaleImage, MakesEightBitGrey) {
    settings::Settings settings;
    settings.doImageGreyscale = 1;
    imaging::Bitmap grey = greyscaleImage(patternPage(6, 4), settings);
    ASSERT_TRUE(grey);
    EXPECT_EQ(FreeImage_GetBPP(grey.get()), 8u);
    EXPECT_EQ(FreeImage_GetColorType(grey.get()), FIC_MINISBLACK);
    EXPECT_TRUE(keptResolution(grey.get()));
    for (const FREE_IMAGE_TYPE type : {FIT_UINT16, FIT_RGBF, FIT_RGB16, FIT_FLOAT}) {
        imaging::Bitmap page = greyscaleImage(typedPage(type, 4, 3), settings);
        ASSERT_TRUE(page) << type;
        EXPECT_EQ(FreeImage_GetBPP(page.get()), 8u) << type;
        EXPECT_TRUE(keptResolution(page.get()));
    }
}

TEST(ThresholdImage, SplitsAtTheLevel) {
    const int levels[] = {0, 100, 127, 128, 200, 255};
    const auto page = [&] { return indexedPage(6, 1, [&](int x, int) { return levels[x]; }); };
    imaging::Bitmap split = thresholdImage(page(), threshold(128));
    ASSERT_TRUE(split);
    EXPECT_EQ(FreeImage_GetBPP(split.get()), 1u);
    EXPECT_TRUE(keptResolution(split.get()));
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(pixelAt(split.get(), x, 0).r, levels[x] >= 128 ? 255 : 0) << levels[x];

    // Out-of-range levels clamp instead of wrapping into a byte.
    imaging::Bitmap high = thresholdImage(page(), threshold(300));
    EXPECT_EQ(pixelAt(high.get(), 4, 0).r, 0);
    EXPECT_EQ(pixelAt(high.get(), 5, 0).r, 255);
    imaging::Bitmap low = thresholdImage(page(), threshold(-5));
    EXPECT_EQ(pixelAt(low.get(), 0, 0).r, 255);
}

TEST(ThresholdImage, OneBitAndNonStandardPagesGiveTwoColours) {
    imaging::Bitmap bilevel = thresholdImage(indexedPage(
                                                 4, 4, [](int x, int) { return x % 2; }, 1),
                                             threshold(128));
    ASSERT_TRUE(bilevel);
    EXPECT_EQ(FreeImage_GetBPP(bilevel.get()), 1u);
    EXPECT_EQ(pixelAt(bilevel.get(), 0, 0).r, 0);
    EXPECT_EQ(pixelAt(bilevel.get(), 1, 0).r, 255);
    for (const FREE_IMAGE_TYPE type : {FIT_UINT16, FIT_RGBF, FIT_FLOAT}) {
        imaging::Bitmap page = thresholdImage(typedPage(type, 8, 8), threshold(128));
        ASSERT_TRUE(page) << type;
        EXPECT_EQ(FreeImage_GetBPP(page.get()), 1u);
    }
}

TEST(DitherImage, AlgorithmMapsToFreeImage) {
    const std::pair<int, FREE_IMAGE_DITHER> table[] = {
        {0, FID_FS},           {1, FID_BAYER4x4},   {2, FID_BAYER8x8},
        {3, FID_BAYER16x16},   {4, FID_CLUSTER6x6}, {5, FID_CLUSTER8x8},
        {6, FID_CLUSTER16x16}, {7, FID_FS},         {-1, FID_FS},
    };
    for (const auto& [algorithm, expectedAlgorithm] : table) {
        imaging::Bitmap reference = greyRamp(64, 32);
        imaging::Bitmap expected(FreeImage_Dither(reference.get(), expectedAlgorithm));
        imaging::Bitmap dithered = ditherImage(greyRamp(64, 32), dither(algorithm));
        ASSERT_TRUE(dithered) << algorithm;
        EXPECT_EQ(FreeImage_GetBPP(dithered.get()), 1u);
        EXPECT_EQ(colourCount(dithered.get()), 2) << algorithm;
        EXPECT_TRUE(test::imagesMatch(dithered.get(), expected.get())) << algorithm;
        EXPECT_TRUE(keptResolution(dithered.get()));
    }
}

TEST(DitherImage, AfterThresholdGivesTwoColours) {
    settings::Settings both = threshold(100);
    both.doImageDither = 1;
    imaging::Bitmap page = ditherImage(thresholdImage(patternPage(32, 16), both), both);
    ASSERT_TRUE(page);
    EXPECT_EQ(FreeImage_GetBPP(page.get()), 1u);
    EXPECT_EQ(colourCount(page.get()), 2);
    EXPECT_TRUE(keptResolution(page.get()));
}

TEST(ColourSteps, SwitchedOffOrNullPassThrough) {
    const settings::Settings off;
    imaging::Bitmap page = patternPage(3, 3);
    FIBITMAP* original = page.get();
    page = ditherImage(
        thresholdImage(greyscaleImage(adjustImageColors(std::move(page), off), off), off), off);
    EXPECT_EQ(page.get(), original);

    settings::Settings on = correction(true);
    on.doImageGreyscale = on.doImageThreshold = on.doImageDither = 1;
    EXPECT_FALSE(adjustImageColors(nullptr, on));
    EXPECT_FALSE(greyscaleImage(nullptr, on));
    EXPECT_FALSE(thresholdImage(nullptr, on));
    EXPECT_FALSE(ditherImage(nullptr, on));
}

} // namespace
} // namespace kx::engine
