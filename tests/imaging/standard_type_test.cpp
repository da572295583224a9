#include "imaging/standard_type.h"
#include "tests/support/image_compare.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kx::imaging {
namespace {

TEST(StandardTypeTest, GreyscaleStandardisationAndToneMapping) {
    Bitmap grey16(FreeImage_AllocateT(FIT_UINT16, 4, 2));
    auto* bits = reinterpret_cast<uint16_t*>(FreeImage_GetScanLine(grey16.get(), 0));
    bits[0] = 1000;
    bits[1] = 3000;
    FreeImage_SetDotsPerMeterX(grey16.get(), 5906);
    Bitmap standard = standardizeGreyscale(std::move(grey16));
    ASSERT_NE(standard, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(standard.get()), 8u);
    EXPECT_EQ(FreeImage_GetImageType(standard.get()), FIT_BITMAP);
    EXPECT_EQ(FreeImage_GetDotsPerMeterX(standard.get()), 5906u);

    Bitmap colour(FreeImage_Allocate(4, 2, 24));
    FIBITMAP* before = colour.get();
    EXPECT_EQ(standardizeGreyscale(std::move(colour)).get(), before) << "colour pages pass";

    Bitmap floats(FreeImage_AllocateT(FIT_RGBF, 4, 2));
    Bitmap mapped = toneMap(std::move(floats));
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(mapped.get()), 24u);

    EXPECT_EQ(standardizeGreyscale(nullptr), nullptr);
    EXPECT_EQ(toneMap(nullptr), nullptr);
}

TEST(StandardTypeTest, SixteenBitColourIsScaledNotToneMapped) {
    Bitmap rgb16(FreeImage_AllocateT(FIT_RGB16, 2, 1));
    auto* pixel = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(rgb16.get(), 0));
    pixel[0] = {0x1000, 0x8000, 0xFFFF};
    pixel[1] = {0x0000, 0x00FF, 0x0100};
    Bitmap scaled = toneMap(std::move(rgb16));
    ASSERT_NE(scaled, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(scaled.get()), 24u);
    const test::Rgba first = test::pixelAt(scaled.get(), 0, 0);
    const test::Rgba second = test::pixelAt(scaled.get(), 1, 0);
    EXPECT_EQ((std::array{first.r, first.g, first.b}), (std::array{0x10, 0x80, 0xFF}));
    // By value, rounded: 0x00FF and 0x0100 are both nearer to level 1 than to 0.
    EXPECT_EQ((std::array{second.r, second.g, second.b}), (std::array{0x00, 0x01, 0x01}));

    Bitmap rgba16(FreeImage_AllocateT(FIT_RGBA16, 2, 1));
    EXPECT_EQ(FreeImage_GetBPP(toneMap(std::move(rgba16)).get()), 32u);
}

struct TypeCase {
    FREE_IMAGE_TYPE type;
    unsigned bpp;         // the type's depth, for a standard bitmap the depth it is made with
    bool grey;            // isGreyscale
    unsigned standardBpp; // the depth standardizePage gives
};

class StandardTypes : public ::testing::TestWithParam<TypeCase> {};

Bitmap pageOfType(const TypeCase& c) {
    Bitmap page(c.type == FIT_BITMAP ? FreeImage_Allocate(3, 2, static_cast<int>(c.bpp))
                                     : FreeImage_AllocateT(c.type, 3, 2));
    FreeImage_SetDotsPerMeterX(page.get(), 4724);
    return page;
}

TEST_P(StandardTypes, OneStandardisationForEveryStep) {
    const TypeCase c = GetParam();
    ASSERT_EQ(FreeImage_GetBPP(pageOfType(c).get()), c.bpp);
    EXPECT_EQ(isGreyscale(pageOfType(c).get()), c.grey);

    const Bitmap standard = standardizePage(pageOfType(c));
    ASSERT_NE(standard, nullptr);
    EXPECT_EQ(FreeImage_GetImageType(standard.get()), FIT_BITMAP);
    EXPECT_EQ(FreeImage_GetBPP(standard.get()), c.standardBpp);
    EXPECT_EQ(FreeImage_GetDotsPerMeterX(standard.get()), 4724u);

    // The greyscale step and the tone mapping standardise the pages they take the same way.
    const Bitmap grey = standardizeGreyscale(pageOfType(c));
    EXPECT_EQ(FreeImage_GetImageType(grey.get()) == FIT_BITMAP, c.grey || c.type == FIT_BITMAP);
    const Bitmap mapped = toneMap(standardizeGreyscale(pageOfType(c)));
    EXPECT_EQ(FreeImage_GetImageType(mapped.get()), FIT_BITMAP);
    EXPECT_EQ(FreeImage_GetBPP(mapped.get()), c.standardBpp);
}

INSTANTIATE_TEST_SUITE_P(
    Types, StandardTypes,
    ::testing::Values(TypeCase{FIT_BITMAP, 8, true, 8}, TypeCase{FIT_BITMAP, 24, false, 24},
                      TypeCase{FIT_UINT16, 16, true, 8}, TypeCase{FIT_INT16, 16, true, 8},
                      TypeCase{FIT_UINT32, 32, true, 8}, TypeCase{FIT_INT32, 32, true, 8},
                      TypeCase{FIT_FLOAT, 32, true, 8}, TypeCase{FIT_DOUBLE, 64, true, 8},
                      TypeCase{FIT_COMPLEX, 128, false, 8}, TypeCase{FIT_RGB16, 48, false, 24},
                      TypeCase{FIT_RGBA16, 64, false, 32}, TypeCase{FIT_RGBF, 96, false, 24},
                      TypeCase{FIT_RGBAF, 128, false, 32}));

// Three samples of a grey type, its lowest, a middle and its highest value, each stored in
// the type's own form.
struct DeepGrey {
    FREE_IMAGE_TYPE type;
    std::array<double, 3> samples;
};

void store(FIBITMAP* page, unsigned x, FREE_IMAGE_TYPE type, double value) {
    BYTE* row = FreeImage_GetScanLine(page, 0);
    const auto put = [&](auto sample) {
        std::memcpy(row + x * sizeof sample, &sample, sizeof sample);
    };
    switch (type) {
    case FIT_UINT16:
        return put(static_cast<uint16_t>(value));
    case FIT_INT16:
        return put(static_cast<int16_t>(value));
    case FIT_UINT32:
        return put(static_cast<uint32_t>(value));
    case FIT_INT32:
        return put(static_cast<int32_t>(value));
    case FIT_FLOAT:
        return put(static_cast<float>(value));
    default:
        return put(value);
    }
}

class DeepGreys : public ::testing::TestWithParam<DeepGrey> {};

// Deep grey samples map by their value over their type's range (reals over 0..1), never
// stretched over the range the page happens to use.
TEST_P(DeepGreys, MapByValue) {
    const DeepGrey c = GetParam();
    Bitmap page(FreeImage_AllocateT(c.type, 3, 1));
    for (unsigned x = 0; x < 3; ++x)
        store(page.get(), x, c.type, c.samples[x]);
    const Bitmap grey = standardizeGreyscale(std::move(page));
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(grey.get()), 8u);
    EXPECT_EQ(test::pixelAt(grey.get(), 0, 0).r, 0);
    EXPECT_EQ(test::pixelAt(grey.get(), 1, 0).r, 128);
    EXPECT_EQ(test::pixelAt(grey.get(), 2, 0).r, 255);
}

INSTANTIATE_TEST_SUITE_P(Types, DeepGreys,
                         ::testing::Values(DeepGrey{FIT_UINT16, {0, 32768, 65535}},
                                           DeepGrey{FIT_INT16, {-32768, 0, 32767}},
                                           DeepGrey{FIT_UINT32, {0, 2147483648.0, 4294967295.0}},
                                           DeepGrey{FIT_INT32, {-2147483648.0, 0, 2147483647.0}},
                                           DeepGrey{FIT_FLOAT, {NAN, 0.5, 2}},
                                           DeepGrey{FIT_DOUBLE, {-1, 0.5, 1}}));

} // namespace
} // namespace kx::imaging