#include "decoder/tiff/libtiff_pages.h"
#include "decoder/tiff/loading.h"
#include "decoder/tiff/page_budget.h"
#include "imaging/bitmap.h"
#include "imaging/standard_type.h"
#include "tests/support/image_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kx::decoder {
namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// A sample in the bits of a 16- or 24-bit float with `exponentBits` and `mantissaBits`;
// enough for the zeros, powers of two, halves and NaN the tables write.
uint32_t smallFloat(double value, int exponentBits, int mantissaBits) {
    const uint32_t sign = std::signbit(value) ? 1u << (exponentBits + mantissaBits) : 0;
    const uint32_t allOnes = (1u << exponentBits) - 1;
    if (std::isnan(value))
        return allOnes << mantissaBits | 1;
    if (value == 0)
        return sign;
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);
    const auto mantissa = static_cast<uint32_t>((2 * fraction - 1) * (1u << mantissaBits));
    const int bias = static_cast<int>(allOnes >> 1);
    return sign | static_cast<uint32_t>(exponent - 1 + bias) << mantissaBits | mantissa;
}

// `values` (pixel by pixel, sample by sample, top row first) stored as `bits`-bit samples of
// `format`, as libtiff expects them from this machine: whole-byte samples in its byte order,
// other depths as a bit stream, most significant bit first, each row starting on a byte.
std::vector<uint8_t> pack(const std::vector<double>& values, int perRow, int bits, int format) {
    std::vector<uint8_t> out;
    for (size_t start = 0; start < values.size(); start += static_cast<size_t>(perRow)) {
        std::vector<bool> rowBits;
        for (int i = 0; i < perRow; ++i) {
            const double v = values[start + static_cast<size_t>(i)];
            uint64_t stored = 0;
            if (format == SAMPLEFORMAT_IEEEFP)
                stored = bits == 16   ? smallFloat(v, 5, 10)
                         : bits == 24 ? smallFloat(v, 7, 16)
                         : bits == 32 ? std::bit_cast<uint32_t>(static_cast<float>(v))
                                      : std::bit_cast<uint64_t>(v);
            else
                stored = static_cast<uint64_t>(static_cast<int64_t>(v));
            if (bits % 8 == 0) {
                for (int b = 0; b < bits / 8; ++b) {
                    const int shift =
                        std::endian::native == std::endian::little ? b : bits / 8 - 1 - b;
                    for (int bit = 7; bit >= 0; --bit)
                        rowBits.push_back((stored >> (8 * shift + bit)) & 1);
                }
            } else {
                for (int bit = bits - 1; bit >= 0; --bit)
                    rowBits.push_back((stored >> bit) & 1);
            }
        }
        rowBits.resize((rowBits.size() + 7) / 8 * 8, false);
        for (size_t i = 0; i < rowBits.size(); i += 8) {
            uint8_t byte = 0;
            for (size_t bit = 0; bit < 8; ++bit)
                byte = static_cast<uint8_t>(byte << 1 | rowBits[i + bit]);
            out.push_back(byte);
        }
    }
    return out;
}

test::TiffPage page(int width, int spp, int bits, int photometric, int format,
                    const std::vector<double>& values) {
    test::TiffPage p{.width = width,
                     .height = static_cast<int>(values.size()) / (width * spp),
                     .samplesPerPixel = spp,
                     .bitsPerSample = bits,
                     .photometric = photometric,
                     .sampleFormat = format};
    p.data = pack(values, width * spp, bits, format);
    return p;
}

test::TiffPage with(test::TiffPage p, const std::function<void(test::TiffPage&)>& change) {
    change(p);
    return p;
}

// A colour map of `entries` entries, black but for `colours` at the given indices.
std::vector<uint16_t> colourMap(size_t entries,
                                const std::vector<std::pair<size_t, test::Rgb>>& colours) {
    std::vector<uint16_t> map(3 * entries, 0);
    for (const auto& [index, c] : colours) {
        map[index] = static_cast<uint16_t>(c.r * 257);
        map[entries + index] = static_cast<uint16_t>(c.g * 257);
        map[2 * entries + index] = static_cast<uint16_t>(c.b * 257);
    }
    return map;
}

constexpr double k_nan = NAN;

test::Rgba grey(int level) {
    return {level, level, level, 255};
}

// A kind of page and the pixels it must come out as, top row first, after the chain's
// standardisation.
struct Kind {
    const char* name;
    test::TiffPage page;
    std::vector<test::Rgba> expected;
};

std::vector<Kind> kinds() {
    const int grey_ = PHOTOMETRIC_MINISBLACK, uint_ = SAMPLEFORMAT_UINT;
    const int int_ = SAMPLEFORMAT_INT, float_ = SAMPLEFORMAT_IEEEFP;
    const std::vector<test::Rgba> byValue = {grey(0), grey(128), grey(255), grey(255),
                                             grey(0), grey(0),   grey(64),  grey(191)};
    const std::vector<double> reals = {0, 0.5, 1, 2, -1, k_nan, 0.25, 0.75};
    return {
        {"Grey16ByValue",
         page(4, 1, 16, grey_, uint_, {0, 257, 32768, 65535}),
         {grey(0), grey(1), grey(128), grey(255)}},
        {"Grey16Flat", page(2, 1, 16, grey_, uint_, {32768, 32768}), {grey(128), grey(128)}},
        {"Grey16MinIsWhite",
         page(4, 1, 16, PHOTOMETRIC_MINISWHITE, uint_, {0, 257, 32768, 65535}),
         {grey(255), grey(254), grey(127), grey(0)}},
        {"Grey16Signed",
         page(4, 1, 16, grey_, int_, {-32768, -1, 0, 32767}),
         {grey(0), grey(127), grey(128), grey(255)}},
        {"Grey32Unsigned",
         page(4, 1, 32, grey_, uint_, {0, 16777216, 2147483648.0, 4294967295.0}),
         {grey(0), grey(1), grey(128), grey(255)}},
        {"Grey32SignedFullRange",
         page(4, 1, 32, grey_, int_, {INT_MIN, -1, 0, INT_MAX}),
         {grey(0), grey(127), grey(128), grey(255)}},
        {"GreyHalfFloat", page(4, 1, 16, grey_, float_, reals), byValue},
        {"GreyFloat24", page(4, 1, 24, grey_, float_, reals), byValue},
        {"GreyFloat32", page(4, 1, 32, grey_, float_, reals), byValue},
        {"GreyFloat64", page(4, 1, 64, grey_, float_, reals), byValue},
        {"GreyFloatMinIsWhite",
         page(2, 1, 32, PHOTOMETRIC_MINISWHITE, float_, {0, 1}),
         {grey(255), grey(0)}},
        {"Grey2Bits",
         page(4, 1, 2, grey_, uint_, {0, 1, 2, 3}),
         {grey(0), grey(85), grey(170), grey(255)}},
        {"Grey3Bits",
         page(4, 1, 3, grey_, uint_, {0, 3, 4, 7}),
         {grey(0), grey(109), grey(146), grey(255)}},
        {"Grey12Bits",
         page(4, 1, 12, grey_, uint_, {0, 16, 2048, 4095}),
         {grey(0), grey(1), grey(128), grey(255)}},
        {"Grey16WithAlpha",
         page(2, 2, 16, grey_, uint_, {65535, 32768, 32768, 65535}),
         {{255, 255, 255, 128}, {128, 128, 128, 255}}},
        {"Palette2Bits",
         with(page(4, 1, 2, PHOTOMETRIC_PALETTE, uint_, {0, 1, 2, 3}),
              [](test::TiffPage& p) {
                  p.colormap = colourMap(4, {{1, {200, 10, 20}}, {2, {5, 250, 7}}, {3, {1, 2, 3}}});
              }),
         {{0, 0, 0, 255}, {200, 10, 20, 255}, {5, 250, 7, 255}, {1, 2, 3, 255}}},
        {"Palette16Bits",
         with(page(3, 1, 16, PHOTOMETRIC_PALETTE, uint_, {0, 1000, 65535}),
              [](test::TiffPage& p) {
                  p.colormap = colourMap(65536, {{1000, {200, 10, 20}}, {65535, {5, 250, 7}}});
              }),
         {{0, 0, 0, 255}, {200, 10, 20, 255}, {5, 250, 7, 255}}},
        {"Rgb2Bits",
         page(2, 3, 2, PHOTOMETRIC_RGB, uint_, {3, 0, 1, 2, 3, 0}),
         {{255, 0, 85, 255}, {170, 255, 0, 255}}},
        {"Rgb4Bits",
         page(2, 3, 4, PHOTOMETRIC_RGB, uint_, {15, 0, 1, 8, 15, 0}),
         {{255, 0, 17, 255}, {136, 255, 0, 255}}},
        {"Rgb32Unsigned",
         page(2, 3, 32, PHOTOMETRIC_RGB, uint_, {4294967295.0, 0, 2147483648.0, 0, 0, 16777216}),
         {{255, 0, 128, 255}, {0, 0, 1, 255}}},
        {"Rgb16Signed",
         page(2, 3, 16, PHOTOMETRIC_RGB, int_, {32767, -32768, 0, -1, 0, 32767}),
         {{255, 0, 128, 255}, {127, 128, 255, 255}}},
        {"Rgba16Associated",
         with(page(2, 4, 16, PHOTOMETRIC_RGB, uint_, {32768, 0, 16384, 32768, 0, 0, 0, 0}),
              [](test::TiffPage& p) { p.extraSample = EXTRASAMPLE_ASSOCALPHA; }),
         {{255, 0, 128, 128}, {0, 0, 0, 0}}},
        {"RgbTiledSeparatePlanes",
         with(page(20, 3, 8, PHOTOMETRIC_RGB, uint_, std::vector<double>(20 * 17 * 3, 0)),
              [](test::TiffPage& p) {
                  for (size_t i = 0; i < p.data.size(); ++i)
                      p.data[i] = static_cast<uint8_t>(i * 7);
                  p.tileSize = 16;
                  p.planarConfig = PLANARCONFIG_SEPARATE;
              }),
         {}},
        {"Cmyk16Bits",
         page(3, 4, 16, PHOTOMETRIC_SEPARATED, uint_,
              {65535, 0, 0, 0, 0, 32768, 0, 0, 0, 0, 0, 65535}),
         {{0, 255, 255, 255}, {255, 127, 255, 255}, {0, 0, 0, 255}}},
        {"CmykFloat",
         page(2, 4, 32, PHOTOMETRIC_SEPARATED, float_, {1, 0, 0, 0, 0, 0, 0, 0.5}),
         {{0, 255, 255, 255}, {127, 127, 127, 255}}},
        {"CmykWithAlpha",
         page(2, 5, 8, PHOTOMETRIC_SEPARATED, uint_, {0, 0, 0, 0, 128, 255, 0, 0, 0, 255}),
         {{255, 255, 255, 128}, {0, 255, 255, 255}}},
        {"LabLightnessOnly",
         page(3, 1, 8, PHOTOMETRIC_CIELAB, uint_, {0, 128, 255}),
         {grey(0), grey(128), grey(255)}},
        {"LabFloatLightnessOnly",
         page(3, 1, 32, PHOTOMETRIC_CIELAB, float_, {0, 50, 100}),
         {grey(0), grey(128), grey(255)}},
    };
}

class LibtiffKinds : public ::testing::TestWithParam<Kind> {};

// The pixels of the page at `path` as the chain gets them: decoded, then standardised.
imaging::Bitmap loadStandardPage(const std::string& path, std::string& problem) {
    const std::unique_ptr<imaging::PageSource> source = openPagesInProcess(path);
    if (!source) {
        problem = "no pages";
        return nullptr;
    }
    imaging::PageInfo info;
    imaging::Bitmap page = source->loadPage(0, info);
    problem = info.problem;
    return imaging::standardizePage(std::move(page));
}

test::TestBitmap bitmapOf(int width, const std::vector<test::Rgba>& pixels) {
    const int height = static_cast<int>(pixels.size()) / width;
    test::TestBitmap bitmap(FreeImage_Allocate(width, height, 32));
    for (int y = 0; y < height; ++y) {
        BYTE* pixel = FreeImage_GetScanLine(bitmap.get(), height - 1 - y);
        for (int x = 0; x < width; ++x, pixel += 4) {
            const test::Rgba& c = pixels[static_cast<size_t>(y * width + x)];
            pixel[FI_RGBA_RED] = static_cast<BYTE>(c.r);
            pixel[FI_RGBA_GREEN] = static_cast<BYTE>(c.g);
            pixel[FI_RGBA_BLUE] = static_cast<BYTE>(c.b);
            pixel[FI_RGBA_ALPHA] = static_cast<BYTE>(c.a);
        }
    }
    return bitmap;
}

// Pixels as written: the 8-bit samples of an RGB page, contiguous or in three planes.
std::vector<test::Rgba> writtenRgb(const test::TiffPage& p) {
    const size_t count = p.data.size() / 3;
    const bool planes = p.planarConfig == PLANARCONFIG_SEPARATE;
    const size_t step = planes ? 1 : 3;
    const size_t gap = planes ? count : 1;
    std::vector<test::Rgba> pixels;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = i * step;
        pixels.push_back({p.data[at], p.data[at + gap], p.data[at + 2 * gap], 255});
    }
    return pixels;
}

TEST_P(LibtiffKinds, DecodeToTheValuesWritten) {
    const Kind& kind = GetParam();
    test::TempDir dir;
    const std::string path = dir.file("kind.tif");
    ASSERT_TRUE(test::writeTiff(path, {kind.page}));
    std::string problem;
    const imaging::Bitmap decoded = loadStandardPage(path, problem);
    ASSERT_NE(decoded, nullptr) << problem;
    EXPECT_EQ(problem, "");
    const std::vector<test::Rgba> expected =
        kind.expected.empty() ? writtenRgb(kind.page) : kind.expected;
    EXPECT_TRUE(test::imagesMatch(decoded.get(), bitmapOf(kind.page.width, expected).get()));
}

INSTANTIATE_TEST_SUITE_P(Kinds, LibtiffKinds, ::testing::ValuesIn(kinds()),
                         [](const auto& info) { return std::string(info.param.name); });

// Lab samples, as libtiff's RGBA reader converts their 8-bit CIELab form.
struct LabForm {
    const char* name;
    int photometric;
    int bits;
    int format;
    double lightness; // the stored value of L* 100
    double offset;    // added to a* and b*
    double unit;      // stored per unit of a* and b*
};

class LabForms : public ::testing::TestWithParam<LabForm> {};

TEST_P(LabForms, MatchLibtiffsConversionOfCieLab) {
    const LabForm& form = GetParam();
    // L* (of 255), a*, b*: mid grey, white, a red, a green, a blue.
    const std::vector<double> lab = {128, 0, 0, 255, 0, 0, 136, 80, 67, 224, -86, 83, 82, 79, -107};
    std::vector<double> stored;
    for (size_t i = 0; i < lab.size(); ++i)
        stored.push_back(i % 3 == 0 ? lab[i] * form.lightness / 255
                                    : (lab[i] + form.offset) * form.unit);
    test::TempDir dir;
    const std::string reference = dir.file("reference.tif");
    const std::string path = dir.file("lab.tif");
    std::vector<double> eightBit = lab;
    for (size_t i = 0; i < eightBit.size(); ++i)
        if (i % 3 != 0 && eightBit[i] < 0)
            eightBit[i] += 256; // two's complement
    ASSERT_TRUE(test::writeTiff(reference,
                                {page(5, 3, 8, PHOTOMETRIC_CIELAB, SAMPLEFORMAT_UINT, eightBit)}));
    ASSERT_TRUE(
        test::writeTiff(path, {page(5, 3, form.bits, form.photometric, form.format, stored)}));
    TiffHandle tiff(TIFFOpen(reference.c_str(), "r"));
    std::vector<uint32_t> raster(5);
    ASSERT_TRUE(TIFFReadRGBAImageOriented(tiff.get(), 5, 1, raster.data(), ORIENTATION_TOPLEFT, 1));
    std::vector<test::Rgba> expected;
    for (const uint32_t p : raster)
        expected.push_back({static_cast<int>(TIFFGetR(p)), static_cast<int>(TIFFGetG(p)),
                            static_cast<int>(TIFFGetB(p)), 255});
    std::string problem;
    const imaging::Bitmap decoded = loadStandardPage(path, problem);
    ASSERT_NE(decoded, nullptr) << problem;
    EXPECT_TRUE(test::imagesMatch(decoded.get(), bitmapOf(5, expected).get(), 1));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LabForms,
    ::testing::Values(
        LabForm{"CieLab8", PHOTOMETRIC_CIELAB, 8, SAMPLEFORMAT_UINT, 255, 256, 1},
        LabForm{"CieLab16", PHOTOMETRIC_CIELAB, 16, SAMPLEFORMAT_UINT, 65535, 256, 256},
        LabForm{"CieLabFloat", PHOTOMETRIC_CIELAB, 32, SAMPLEFORMAT_IEEEFP, 100, 0, 1},
        LabForm{"IccLab8", PHOTOMETRIC_ICCLAB, 8, SAMPLEFORMAT_UINT, 255, 128, 1},
        LabForm{"IccLab16", PHOTOMETRIC_ICCLAB, 16, SAMPLEFORMAT_UINT, 65535, 128, 256}),
    [](const auto& info) { return std::string(info.param.name); });

// Float RGB(A) stays float for the tone mapping the settings choose; associated alpha is
// divided out, and the alpha survives the tone mapping.
TEST(LibtiffFloatRgb, KeepsItsValuesAndItsAlpha) {
    for (const int bits : {16, 24, 64}) {
        SCOPED_TRACE(bits);
        test::TempDir dir;
        const std::string path = dir.file("float.tif");
        test::TiffPage p = page(2, 4, bits, PHOTOMETRIC_RGB, SAMPLEFORMAT_IEEEFP,
                                {0.25, 0.5, 2, 0.5, 0, 1, 0.5, 1});
        p.extraSample = EXTRASAMPLE_ASSOCALPHA;
        ASSERT_TRUE(test::writeTiff(path, {p}));
        const std::unique_ptr<imaging::PageSource> source = openPagesInProcess(path);
        ASSERT_NE(source, nullptr);
        imaging::PageInfo info;
        imaging::Bitmap decoded = source->loadPage(0, info);
        ASSERT_NE(decoded, nullptr) << info.problem;
        ASSERT_EQ(FreeImage_GetImageType(decoded.get()), FIT_RGBAF);
        const auto* pixels =
            reinterpret_cast<const FIRGBAF*>(FreeImage_GetScanLine(decoded.get(), 0));
        EXPECT_FLOAT_EQ(pixels[0].red, 0.5f);
        EXPECT_FLOAT_EQ(pixels[0].green, 1.0f);
        EXPECT_FLOAT_EQ(pixels[0].blue, 4.0f);
        EXPECT_FLOAT_EQ(pixels[1].blue, 0.5f);
        const imaging::Bitmap mapped = imaging::standardizePage(std::move(decoded));
        ASSERT_NE(mapped, nullptr);
        EXPECT_EQ(test::pixelAt(mapped.get(), 0, 0).a, 128);
        EXPECT_EQ(test::pixelAt(mapped.get(), 1, 0).a, 255);
    }
}

// What libtiff cannot decode fails the page with libtiff's own reason.
struct Undecodable {
    const char* name;
    test::TiffPage page;
    const char* reason;              // a part of the page's problem
    uint16_t unknownCompression = 0; // written over the Compression tag
};

class UndecodableKinds : public ::testing::TestWithParam<Undecodable> {};

TEST_P(UndecodableKinds, FailThePageWithTheTrueReason) {
    test::TempDir dir;
    const std::string path = dir.file("kind.tif");
    ASSERT_TRUE(test::writeTiff(path, {GetParam().page}));
    if (GetParam().unknownCompression) {
        ASSERT_TRUE(test::patchTag(path, TIFFTAG_COMPRESSION, GetParam().unknownCompression));
    }
    std::string problem;
    EXPECT_EQ(loadStandardPage(path, problem), nullptr);
    EXPECT_NE(problem.find(GetParam().reason), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UndecodableKinds,
    ::testing::Values(
        Undecodable{"UnknownPhotometric", page(2, 1, 8, 7, SAMPLEFORMAT_UINT, {1, 2}),
                    "can not handle image with PhotometricInterpretation=7"},
        Undecodable{"ThreeInks",
                    with(page(1, 3, 8, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT, {1, 2, 3}),
                         [](test::TiffPage& p) { p.extraSample = -1; }),
                    "can not handle separated image with Samples/pixel=3"},
        Undecodable{"ComplexSamples",
                    page(1, 1, 32, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_COMPLEXINT, {1}),
                    "32-bit complex integer numbers"},
        Undecodable{"UnknownCompression",
                    page(2, 1, 16, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_INT, {1, 2}),
                    "Compression scheme 34000 strip decoding is not implemented", 34000}),
    [](const auto& info) { return std::string(info.param.name); });

// A transparency mask belongs to the page before it: it is not a page, and says so.
TEST(TransparencyMasks, AreNotPages) {
    test::TempDir dir;
    const std::string path = dir.file("masked.tif");
    test::TiffPage first = test::greyPage(3, 2, [](int x, int) { return static_cast<uint8_t>(x); });
    test::TiffPage mask = test::bilevelPage(3, 2, [](int x, int) { return x > 0; });
    mask.photometric = PHOTOMETRIC_MASK;
    mask.subfileType = FILETYPE_MASK;
    test::TiffPage second = test::greyPage(3, 2, [](int, int) { return uint8_t{200}; });
    ASSERT_TRUE(test::writeTiff(path, {first, mask, second}));
    const std::unique_ptr<imaging::PageSource> source = openPagesInProcess(path);
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(source->pageCount(), 2);
    imaging::PageInfo info;
    const imaging::Bitmap page = source->loadPage(1, info);
    ASSERT_NE(page, nullptr) << info.problem;
    EXPECT_EQ(test::pixelAt(page.get(), 0, 0).r, 200);
    EXPECT_EQ(source->fileProblem(), "");
    EXPECT_EQ(source->fileNotes(), "directory 2 is a transparency mask, not a page\n");
}

// A page of the kinds whose rows go into a bitmap nearly as they are, filled with bytes that
// make every bit count.
struct RowKindCase {
    const char* name;
    int samples;
    int bits;
    int photometric;
    int extraSample = -1;
    int planarConfig = 1;
    int tileSize = 0;
    bool wideColourMap = true; // palette entries of 16 bits, not all below 256
};

test::TiffPage rowKindPage(const RowKindCase& c) {
    test::TiffPage page{.width = 37,
                        .height = 19,
                        .samplesPerPixel = c.samples,
                        .bitsPerSample = c.bits,
                        .photometric = c.photometric,
                        .extraSample = c.extraSample,
                        .tileSize = c.tileSize,
                        .planarConfig = c.planarConfig};
    const size_t rowBits = size_t{37} * c.bits * (c.planarConfig == 2 ? 1 : c.samples);
    const size_t bytes = (rowBits + 7) / 8 * 19 * (c.planarConfig == 2 ? c.samples : 1);
    for (size_t i = 0; i < bytes; ++i)
        page.data.push_back(static_cast<uint8_t>(i * 97 + (i >> 5) * 31));
    if (c.photometric == PHOTOMETRIC_PALETTE)
        for (size_t i = 0; i < 3 * (size_t{1} << c.bits); ++i)
            page.colormap.push_back(static_cast<uint16_t>(c.wideColourMap ? i * 4111 : i % 256));
    return page;
}

class RowKinds : public ::testing::TestWithParam<RowKindCase> {};

// These kinds come out exactly as FreeImage's TIFF loader makes them: its type, depth, palette,
// bits and resolution.
TEST_P(RowKinds, DecodeAsFreeImageLoadsThem) {
    const RowKindCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.file("page.tif");
    ASSERT_TRUE(test::writeTiff(path, {rowKindPage(c)}));
    imaging::PageInfo info;
    const imaging::Bitmap page = openPagesInProcess(path)->loadPage(0, info);
    const imaging::Bitmap expected(FreeImage_Load(FIF_TIFF, path.c_str(), 0));
    ASSERT_TRUE(page && expected) << info.problem;
    ASSERT_EQ(FreeImage_GetImageType(page.get()), FreeImage_GetImageType(expected.get()));
    ASSERT_EQ(FreeImage_GetBPP(page.get()), FreeImage_GetBPP(expected.get()));
    const unsigned colours = FreeImage_GetColorsUsed(expected.get());
    ASSERT_EQ(FreeImage_GetColorsUsed(page.get()), colours);
    if (colours > 0) {
        EXPECT_EQ(std::memcmp(FreeImage_GetPalette(page.get()),
                              FreeImage_GetPalette(expected.get()), colours * sizeof(RGBQUAD)),
                  0);
    }
    const size_t pitch = FreeImage_GetPitch(expected.get());
    EXPECT_EQ(std::memcmp(FreeImage_GetBits(page.get()), FreeImage_GetBits(expected.get()),
                          pitch * FreeImage_GetHeight(expected.get())),
              0);
    EXPECT_EQ(FreeImage_GetDotsPerMeterX(page.get()), FreeImage_GetDotsPerMeterX(expected.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RowKinds,
    ::testing::Values(RowKindCase{"Bilevel", 1, 1, PHOTOMETRIC_MINISBLACK},
                      RowKindCase{"BilevelMinIsWhite", 1, 1, PHOTOMETRIC_MINISWHITE},
                      RowKindCase{"Grey4", 1, 4, PHOTOMETRIC_MINISBLACK},
                      RowKindCase{"Grey4MinIsWhite", 1, 4, PHOTOMETRIC_MINISWHITE},
                      RowKindCase{"Grey8MinIsWhite", 1, 8, PHOTOMETRIC_MINISWHITE},
                      RowKindCase{"Grey8Tiled", 1, 8, PHOTOMETRIC_MINISBLACK, -1, 1, 16},
                      RowKindCase{"Grey16", 1, 16, PHOTOMETRIC_MINISBLACK},
                      RowKindCase{"Palette1", 1, 1, PHOTOMETRIC_PALETTE},
                      RowKindCase{"Palette4", 1, 4, PHOTOMETRIC_PALETTE},
                      RowKindCase{"Palette8", 1, 8, PHOTOMETRIC_PALETTE},
                      RowKindCase{"Palette8NarrowMap", 1, 8, PHOTOMETRIC_PALETTE, -1, 1, 0, false},
                      RowKindCase{"Rgb8", 3, 8, PHOTOMETRIC_RGB},
                      RowKindCase{"Rgb8Planes", 3, 8, PHOTOMETRIC_RGB, -1, 2},
                      RowKindCase{"Rgb8Tiled", 3, 8, PHOTOMETRIC_RGB, -1, 1, 16},
                      RowKindCase{"Rgba8", 4, 8, PHOTOMETRIC_RGB, EXTRASAMPLE_UNASSALPHA},
                      RowKindCase{"Rgba8Planes", 4, 8, PHOTOMETRIC_RGB, EXTRASAMPLE_UNASSALPHA, 2},
                      RowKindCase{"Rgb16", 3, 16, PHOTOMETRIC_RGB},
                      RowKindCase{"Rgba16", 4, 16, PHOTOMETRIC_RGB, EXTRASAMPLE_UNASSALPHA}),
    [](const auto& info) { return std::string(info.param.name); });

// How a page states its resolution: no value is written where one is missing.
struct ResolutionCase {
    const char* name;
    std::optional<float> x;
    std::optional<float> y;
    std::optional<uint16_t> unit;
};

// One of the kinds of page FreeImage cannot decode, which libtiff decodes instead.
struct LibtiffKind {
    const char* name;
    uint16_t samples;
    uint16_t bits;
    uint16_t photometric;
    uint16_t sampleFormat;
    int extraSample; // -1: none
};

bool writePage(const std::string& path, const LibtiffKind& kind, const ResolutionCase& res) {
    TiffHandle tiff(TIFFOpen(path.c_str(), "w"));
    if (!tiff)
        return false;
    TIFF* t = tiff.get();
    const uint32_t width = 5;
    const uint32_t height = 3;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, kind.samples);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, kind.bits);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, kind.photometric);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, kind.sampleFormat);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
    if (kind.extraSample >= 0) {
        const uint16_t extra = static_cast<uint16_t>(kind.extraSample);
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (res.x)
        TIFFSetField(t, TIFFTAG_XRESOLUTION, *res.x);
    if (res.y)
        TIFFSetField(t, TIFFTAG_YRESOLUTION, *res.y);
    if (res.unit)
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, *res.unit);
    std::vector<uint8_t> data(size_t{width} * height * kind.samples * kind.bits / 8, 0x3C);
    return TIFFWriteEncodedStrip(t, 0, data.data(), static_cast<tmsize_t>(data.size())) >= 0;
}

class LibtiffResolution : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(LibtiffResolution, IsTheResolutionFreeImageReads) {
    const ResolutionCase res = GetParam();
    const LibtiffKind kinds[] = {
        {"cmyk", 4, 8, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT, -1},
        {"half-float", 3, 16, PHOTOMETRIC_RGB, SAMPLEFORMAT_IEEEFP, -1},
        {"grey-alpha", 2, 8, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, EXTRASAMPLE_UNASSALPHA},
    };
    test::TempDir dir;
    for (const LibtiffKind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const std::string path = dir.file(std::string(kind.name) + ".tif");
        ASSERT_TRUE(writePage(path, kind, res));
        TiffHandle tiff(TIFFOpen(path.c_str(), "r"));
        ASSERT_NE(tiff, nullptr);
        const PageFacts facts = readPageFacts(tiff.get(), std::filesystem::file_size(path));
        std::string problem;
        const imaging::Bitmap decoded = decodeWithLibtiff(tiff.get(), facts, problem);
        ASSERT_NE(decoded, nullptr) << problem;
        // FreeImage decodes these pages wrong, but reads their resolution.
        const imaging::Bitmap loaded(FreeImage_Load(FIF_TIFF, path.c_str(), 0));
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(FreeImage_GetDotsPerMeterX(decoded.get()),
                  FreeImage_GetDotsPerMeterX(loaded.get()));
        EXPECT_EQ(FreeImage_GetDotsPerMeterY(decoded.get()),
                  FreeImage_GetDotsPerMeterY(loaded.get()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LibtiffResolution,
    ::testing::Values(ResolutionCase{"Inch", 72.0f, 72.0f, RESUNIT_INCH},
                      ResolutionCase{"InchOdd", 96.5f, 203.3f, RESUNIT_INCH},
                      ResolutionCase{"Centimetre", 39.3755f, 47.24f, RESUNIT_CENTIMETER},
                      ResolutionCase{"Missing", std::nullopt, std::nullopt, std::nullopt},
                      ResolutionCase{"UnitOnly", std::nullopt, std::nullopt, RESUNIT_CENTIMETER},
                      ResolutionCase{"NoUnitTag", 150.0f, 200.0f, std::nullopt},
                      ResolutionCase{"Zero", 0.0f, 0.0f, RESUNIT_INCH},
                      ResolutionCase{"NoUnit", 150.0f, 300.0f, RESUNIT_NONE},
                      ResolutionCase{"NoUnitZero", 0.0f, 150.0f, RESUNIT_NONE}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kx::decoder
