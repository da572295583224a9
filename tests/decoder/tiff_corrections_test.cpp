#include "decoder/page_budget.h"
#include "decoder/tiff_corrections.h"
#include "imaging/bitmap.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <tiffio.h>

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
        ASSERT_TRUE(decodesWithLibtiff(facts));
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
