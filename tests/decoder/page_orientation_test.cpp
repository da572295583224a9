#include "decoder/tiff/loading.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"
#include "tests/support/image_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <utility>

namespace kx::decoder {
namespace {

using test::TempDir;
using test::TiffPage;

constexpr int k_width = 48; // stored size: JPEG's 16-pixel blocks fit, width and height differ
constexpr int k_height = 32;

// Where the pixel a viewer shows at (x, y) is stored, for each Orientation tag: the tag names
// the sides of the picture that the first stored row and column run along.
std::pair<int, int> storedPixel(int tag, int x, int y, int width, int height) {
    switch (tag) {
    case 2: // row 0 at the top, column 0 on the right
        return {width - 1 - x, y};
    case 3: // row 0 at the bottom, column 0 on the right
        return {width - 1 - x, height - 1 - y};
    case 4: // row 0 at the bottom, column 0 on the left
        return {x, height - 1 - y};
    case 5: // row 0 on the left, column 0 at the top
        return {y, x};
    case 6: // row 0 on the right, column 0 at the top
        return {y, height - 1 - x};
    case 7: // row 0 on the right, column 0 at the bottom
        return {width - 1 - y, height - 1 - x};
    case 8: // row 0 on the left, column 0 at the bottom
        return {width - 1 - y, x};
    default:
        return {x, y};
    }
}

// `stored` as a viewer honouring `tag` shows it, at 32 bits.
test::TestBitmap shownAsTagged(FIBITMAP* stored, int tag) {
    const test::TestBitmap rgba(FreeImage_ConvertTo32Bits(stored));
    const int width = static_cast<int>(FreeImage_GetWidth(stored));
    const int height = static_cast<int>(FreeImage_GetHeight(stored));
    const bool turned = tag >= 5;
    test::TestBitmap shown(
        FreeImage_Allocate(turned ? height : width, turned ? width : height, 32));
    for (int y = 0; y < int(FreeImage_GetHeight(shown.get())); ++y) {
        for (int x = 0; x < int(FreeImage_GetWidth(shown.get())); ++x) {
            const auto [sx, sy] = storedPixel(tag, x, y, width, height);
            RGBQUAD pixel;
            FreeImage_GetPixelColor(rgba.get(), unsigned(sx), unsigned(height - 1 - sy), &pixel);
            FreeImage_SetPixelColor(shown.get(), unsigned(x),
                                    FreeImage_GetHeight(shown.get()) - 1 - unsigned(y), &pixel);
        }
    }
    return shown;
}

uint8_t level(int x, int y) {
    return static_cast<uint8_t>(x * 5 + y * 3);
}

TiffPage fourBitPalette() {
    TiffPage page{.width = k_width,
                  .height = k_height,
                  .samplesPerPixel = 1,
                  .bitsPerSample = 4,
                  .photometric = 3};
    for (int y = 0; y < k_height; ++y)
        for (int x = 0; x < k_width; x += 2)
            page.data.push_back(static_cast<uint8_t>((x + y) % 16 << 4 | (x + 2 * y + 1) % 16));
    for (int i = 0; i < 3 * 16; ++i)
        page.colormap.push_back(static_cast<uint16_t>(i * 1337 % 65536));
    return page;
}

TiffPage jpegYCbCr() {
    TiffPage page = test::rgbPage(k_width, k_height, [](int x, int y) {
        return test::Rgb{uint8_t(x / 16 * 100), uint8_t(y / 16 * 200), uint8_t(x * 4)};
    });
    page.compression = 7; // COMPRESSION_JPEG
    page.photometric = 6; // PHOTOMETRIC_YCBCR
    return page;
}

// Every tag on a few kinds of page, each decoded the way its kind is (FreeImage's strip
// readers, libtiff's RGBA reader for JPEG YCbCr): the pages show as the tag says, and the
// horizontal and vertical resolution swap where the sides do.
TEST(PageOrientation, EveryTagShowsThePageAsAViewerDoes) {
    const struct {
        const char* name;
        TiffPage page;
    } kinds[] = {
        {"grey-8", test::greyPage(k_width, k_height, level)},
        {"rgb", test::rgbPage(k_width, k_height, test::patternColour)},
        {"bilevel-odd-width", test::bilevelPage(k_width - 11, k_height,
                                                [](int x, int y) { return (x * 3 + y) % 5 < 2; })},
        {"palette-8",
         test::palettePage(k_width, k_height, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 99, 199}},
                           [](int x, int y) { return uint8_t((x + 3 * y) % 4); })},
        {"palette-4", fourBitPalette()},
        {"jpeg-ycbcr", jpegYCbCr()},
    };
    TempDir dir;
    for (const auto& kind : kinds) {
        // Page 0 without the tag, then one page for each tag.
        std::vector<TiffPage> pages(9, kind.page);
        for (int tag = 1; tag <= 8; ++tag) {
            pages[size_t(tag)].orientation = tag;
            pages[size_t(tag)].xResolution = 300;
            pages[size_t(tag)].yResolution = 150;
        }
        const std::string path = dir.file(std::string(kind.name) + ".tif");
        ASSERT_TRUE(test::writeTiff(path, pages)) << kind.name;
        auto source = openPagesInProcess(path);
        ASSERT_NE(source, nullptr) << kind.name;
        imaging::PageInfo info;
        const imaging::Bitmap stored = source->loadPage(0, info);
        ASSERT_TRUE(stored) << kind.name << ": " << info.problem;
        for (int tag = 1; tag <= 8; ++tag) {
            const imaging::Bitmap shown = source->loadPage(tag, info);
            ASSERT_TRUE(shown) << kind.name << " tag " << tag << ": " << info.problem;
            EXPECT_EQ(info.problem, "") << kind.name << " tag " << tag;
            EXPECT_EQ(FreeImage_GetBPP(shown.get()), FreeImage_GetBPP(stored.get())) << kind.name;
            EXPECT_TRUE(test::imagesMatch(shown.get(), shownAsTagged(stored.get(), tag).get()))
                << kind.name << " tag " << tag;
            const unsigned across = FreeImage_GetDotsPerMeterX(shown.get());
            const unsigned down = FreeImage_GetDotsPerMeterY(shown.get());
            EXPECT_EQ(across, tag >= 5 ? 5906u : 11811u) << kind.name << " tag " << tag;
            EXPECT_EQ(down, tag >= 5 ? 11811u : 5906u) << kind.name << " tag " << tag;
        }
    }
}

TEST(PageOrientation, FaxSampleWithTagSixIsTurnedClockwise) {
    TempDir dir;
    const std::string tagged = test::corpusFile("g4_orientation_6.tif");
    const std::string plain = dir.file("plain.tif");
    std::filesystem::copy_file(tagged, plain);
    ASSERT_TRUE(test::patchTag(plain, 274, 1)); // Orientation
    imaging::PageInfo info;
    const imaging::Bitmap shown = openPagesInProcess(tagged)->loadPage(0, info);
    const imaging::Bitmap stored = openPagesInProcess(plain)->loadPage(0, info);
    ASSERT_TRUE(shown && stored);
    EXPECT_EQ(FreeImage_GetWidth(shown.get()), 590u);
    EXPECT_TRUE(test::imagesMatch(shown.get(), shownAsTagged(stored.get(), 6).get()));
}

} // namespace
} // namespace kx::decoder
