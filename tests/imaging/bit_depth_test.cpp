#include "imaging/bit_depth.h"
#include "tests/support/image_compare.h"
#include "tests/support/pipeline_pages.h"

#include <gtest/gtest.h>

#include <string>

namespace kx::imaging {
namespace {

using namespace test::pages;

SaveTarget jobFor(const std::string& formatKey, int targetDepth) {
    SaveTarget job;
    job.outputFormatKey = formatKey;
    job.targetDepth = targetDepth;
    return job;
}

SaveTarget autoJobFor(const std::string& formatKey, int sourceDepth) {
    SaveTarget job = jobFor(formatKey, 0);
    job.autoDepth = true;
    job.sourceDepth = sourceDepth;
    return job;
}

Bitmap threeColours(int width, int height) {
    const test::Rgb colours[] = {{200, 30, 40}, {20, 180, 60}, {10, 40, 220}};
    return colourPage(width, height, [&](int x, int y) { return colours[(x + y) % 3]; });
}

struct Masks {
    unsigned red, green, blue;
    bool operator==(const Masks&) const = default;
};

Masks masksOf(FIBITMAP* page) {
    return {FreeImage_GetRedMask(page), FreeImage_GetGreenMask(page), FreeImage_GetBlueMask(page)};
}

TEST(ConvertToTargetDepth, EachDepthGivesItsType) {
    const std::tuple<int, unsigned, FREE_IMAGE_TYPE> table[] = {
        {96, 96, FIT_RGBF}, {48, 48, FIT_RGB16}, {32, 32, FIT_BITMAP}, {16, 16, FIT_BITMAP},
        {8, 8, FIT_BITMAP}, {4, 4, FIT_BITMAP},  {1, 1, FIT_BITMAP},
    };
    for (const auto& [depth, bpp, type] : table) {
        SaveTarget job = jobFor("bmp", depth);
        Bitmap page = convertToTargetDepth(patternPage(6, 5), job);
        ASSERT_TRUE(page) << depth;
        EXPECT_EQ(FreeImage_GetBPP(page.get()), bpp);
        EXPECT_EQ(FreeImage_GetImageType(page.get()), type) << depth;
        EXPECT_TRUE(keptResolution(page.get())) << depth;
        EXPECT_EQ(job.targetDepth, depth);
    }
    SaveTarget job = jobFor("bmp", 32);
    Bitmap source = patternPage(6, 5);
    Bitmap page = convertToTargetDepth(patternPage(6, 5), job);
    EXPECT_TRUE(test::imagesMatch(page.get(), source.get()));
}

TEST(ConvertToTargetDepth, SixteenBitsIs565ExceptForTgaAndIco) {
    const Masks masks565{FI16_565_RED_MASK, FI16_565_GREEN_MASK, FI16_565_BLUE_MASK};
    const Masks masks555{FI16_555_RED_MASK, FI16_555_GREEN_MASK, FI16_555_BLUE_MASK};
    for (const auto& [key, masks] : {std::pair{"bmp", masks565}, std::pair{"png", masks565},
                                     std::pair{"tga", masks555}, std::pair{"ico", masks555}}) {
        SaveTarget job = jobFor(key, 16);
        Bitmap page = convertToTargetDepth(patternPage(4, 4), job);
        ASSERT_TRUE(page) << key;
        EXPECT_EQ(FreeImage_GetBPP(page.get()), 16u);
        EXPECT_EQ(masksOf(page.get()), masks) << key;
    }
    SaveTarget job = jobFor("bmp", 16);
    Bitmap wide = convertToTargetDepth(typedPage(FIT_RGB16, 4, 4), job);
    ASSERT_TRUE(wide);
    EXPECT_EQ(masksOf(wide.get()), masks565);
}

TEST(ConvertToTargetDepth, EightBitsQuantisesOrGreysByFormat) {
    SaveTarget gif = autoJobFor("gif", 24);
    Bitmap source = threeColours(9, 6);
    Bitmap quantised = convertToTargetDepth(threeColours(9, 6), gif);
    EXPECT_EQ(gif.targetDepth, 8);
    ASSERT_TRUE(quantised);
    EXPECT_EQ(FreeImage_GetBPP(quantised.get()), 8u);
    EXPECT_EQ(FreeImage_GetColorType(quantised.get()), FIC_PALETTE);
    EXPECT_TRUE(test::imagesMatch(quantised.get(), source.get(), 2));

    SaveTarget bmp = jobFor("bmp", 8);
    Bitmap fromThirtyTwo = convertToTargetDepth(patternPage(5, 5, 32), bmp);
    ASSERT_TRUE(fromThirtyTwo);
    EXPECT_EQ(FreeImage_GetColorType(fromThirtyTwo.get()), FIC_PALETTE);

    for (const char* key : {"jpg", "j2k", "jp2", "jxr"}) {
        SaveTarget jpg = jobFor(key, 8);
        Bitmap grey = convertToTargetDepth(threeColours(9, 6), jpg);
        ASSERT_TRUE(grey) << key;
        EXPECT_EQ(FreeImage_GetBPP(grey.get()), 8u);
        EXPECT_EQ(FreeImage_GetColorType(grey.get()), FIC_MINISBLACK) << key;
        EXPECT_TRUE(keptResolution(grey.get()));
    }
}

TEST(ConvertToTargetDepth, AutoDepthFollowsTheSourceDepth) {
    SaveTarget bilevelJob = autoJobFor("bmp", 1);
    Bitmap bilevel = indexedPage(
        5, 3, [](int x, int) { return x % 2; }, 1);
    FIBITMAP* original = bilevel.get();
    EXPECT_EQ(convertToTargetDepth(std::move(bilevel), bilevelJob).get(), original);
    EXPECT_EQ(bilevelJob.targetDepth, 1);

    SaveTarget wideJob = autoJobFor("bmp", 48);
    Bitmap wide = convertToTargetDepth(patternPage(4, 3), wideJob);
    EXPECT_EQ(wideJob.targetDepth, 32);
    EXPECT_EQ(FreeImage_GetBPP(wide.get()), 32u);

    SaveTarget greyJob = autoJobFor("bmp", 16);
    Bitmap grey =
        convertToTargetDepth(indexedPage(4, 3, [](int x, int) { return x * 60; }), greyJob);
    EXPECT_EQ(greyJob.targetDepth, 16);
    ASSERT_TRUE(grey);
    EXPECT_EQ(FreeImage_GetBPP(grey.get()), 16u);
    EXPECT_EQ(FreeImage_GetRedMask(grey.get()), unsigned{FI16_565_RED_MASK});

    // A grey source deeper than 8 bits stays grey: 8 bits, not 5-6-5 colour.
    SaveTarget deepGreyJob = autoJobFor("bmp", 16);
    deepGreyJob.sourceGrey = true;
    Bitmap deepGrey =
        convertToTargetDepth(indexedPage(4, 3, [](int x, int) { return x * 60; }), deepGreyJob);
    EXPECT_EQ(deepGreyJob.targetDepth, 8);
    ASSERT_TRUE(deepGrey);
    EXPECT_EQ(FreeImage_GetBPP(deepGrey.get()), 8u);

    // An explicit 16 still gives 5-6-5.
    SaveTarget explicitJob = jobFor("bmp", 16);
    explicitJob.sourceGrey = true;
    explicitJob.sourceDepth = 16;
    Bitmap explicitSixteen =
        convertToTargetDepth(indexedPage(4, 3, [](int x, int) { return x * 60; }), explicitJob);
    ASSERT_TRUE(explicitSixteen);
    EXPECT_EQ(FreeImage_GetRedMask(explicitSixteen.get()), unsigned{FI16_565_RED_MASK});
}

TEST(ConvertToTargetDepth, PageOfTheTargetDepthIsUntouched) {
    Bitmap palette = indexedPage(4, 4, [](int x, int y) { return x * 4 + y; });
    RGBQUAD* colours = FreeImage_GetPalette(palette.get());
    colours[5] = RGBQUAD{1, 2, 3, 0};
    FIBITMAP* original = palette.get();
    SaveTarget job = jobFor("bmp", 8);
    Bitmap same = convertToTargetDepth(std::move(palette), job);
    ASSERT_EQ(same.get(), original);
    EXPECT_EQ(FreeImage_GetPalette(same.get())[5].rgbRed, 3);
}

TEST(ConvertToTargetDepth, NonStandardPagesAreNotLost) {
    const std::tuple<FREE_IMAGE_TYPE, int, FREE_IMAGE_TYPE> table[] = {
        {FIT_UINT16, 32, FIT_BITMAP}, {FIT_UINT16, 24, FIT_BITMAP}, {FIT_UINT16, 16, FIT_BITMAP},
        {FIT_UINT16, 8, FIT_BITMAP},  {FIT_UINT16, 4, FIT_BITMAP},  {FIT_UINT16, 1, FIT_BITMAP},
        {FIT_RGBF, 48, FIT_RGB16},    {FIT_RGBF, 24, FIT_BITMAP},   {FIT_RGBF, 8, FIT_BITMAP},
        {FIT_RGBF, 4, FIT_BITMAP},    {FIT_FLOAT, 32, FIT_BITMAP},  {FIT_FLOAT, 1, FIT_BITMAP},
        {FIT_RGB16, 4, FIT_BITMAP},   {FIT_RGB16, 96, FIT_RGBF},
    };
    for (const auto& [sourceType, depth, type] : table) {
        SaveTarget job = jobFor("bmp", depth);
        Bitmap page = convertToTargetDepth(typedPage(sourceType, 5, 4), job);
        ASSERT_TRUE(page) << sourceType << " to " << depth;
        EXPECT_EQ(FreeImage_GetBPP(page.get()), static_cast<unsigned>(depth)) << sourceType;
        EXPECT_EQ(FreeImage_GetImageType(page.get()), type) << sourceType << " to " << depth;
        EXPECT_TRUE(keptResolution(page.get())) << sourceType << " to " << depth;
    }
}

TEST(ConvertToTargetDepth, UnknownDepthOrNullGivesNull) {
    for (const int depth : {0, 7, 64, -24}) {
        SaveTarget job = jobFor("bmp", depth);
        EXPECT_FALSE(convertToTargetDepth(patternPage(3, 3), job)) << depth;
    }
    SaveTarget unknownFormat = autoJobFor("nope", 24);
    EXPECT_FALSE(convertToTargetDepth(patternPage(3, 3), unknownFormat));
    EXPECT_EQ(unknownFormat.targetDepth, 0);

    SaveTarget job = autoJobFor("bmp", 24);
    EXPECT_FALSE(convertToTargetDepth(nullptr, job));
    EXPECT_EQ(job.targetDepth, 24);
}

} // namespace
} // namespace kx::imaging