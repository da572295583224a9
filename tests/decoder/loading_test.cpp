#include "decoder/tiff/loading.h"
#include "engine/page_range.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"
#include "tests/support/image_compare.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>

namespace kx::decoder {
namespace {

using test::TempDir;

TEST(PageRangeTest, FrameLoadingChoosesPages) {
    struct Case {
        int frameLoading, pages, first, end;
    } cases[] = {{0, 5, 0, 5}, {1, 5, 0, 1}, {2, 1, 0, 1}, {2, 2, 0, 1}, {2, 3, 1, 2},
                 {2, 4, 1, 2}, {2, 5, 2, 3}, {2, 6, 2, 3}, {3, 5, 4, 5}, {3, 1, 0, 1},
                 {4, 1, 0, 1}, {9, 3, 0, 3}, {0, 0, 0, 0}, {4, 0, 0, 0}};
    for (const Case& c : cases) {
        const engine::PageRange range = engine::choosePageRange(c.frameLoading, c.pages);
        EXPECT_EQ(range.first, c.first) << c.frameLoading << " of " << c.pages;
        EXPECT_EQ(range.end, c.end) << c.frameLoading << " of " << c.pages;
    }
}

TEST(PageRangeTest, RandomPageCoversEveryPage) {
    std::set<int> seen;
    for (int i = 0; i < 400; ++i) {
        const engine::PageRange range = engine::choosePageRange(4, 4);
        ASSERT_EQ(range.end, range.first + 1);
        ASSERT_GE(range.first, 0);
        ASSERT_LT(range.first, 4);
        seen.insert(range.first);
    }
    EXPECT_EQ(seen.size(), 4u);
}

TEST(LoadingTest, PagesComeBackWithTheirPixelsAndCompression) {
    TempDir dir;
    std::vector<test::TiffPage> pages;
    for (int p = 0; p < 3; ++p) {
        pages.push_back(test::rgbPage(9 + p, 7, [p](int x, int y) {
            return test::Rgb{static_cast<uint8_t>(x * 20 + p), static_cast<uint8_t>(y * 30), 77};
        }));
    }
    pages[1].compression = 5; // LZW
    const std::string path = dir.file("three.tif");
    ASSERT_TRUE(test::writeTiff(path, pages));

    auto source = openPagesInProcess(path);
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(source->pageCount(), 3);
    for (int p = 0; p < 3; ++p) {
        imaging::PageInfo info;
        imaging::Bitmap page = source->loadPage(p, info);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(info.problem, "");
        EXPECT_EQ(info.sourceCompression, p == 1 ? 5 : 1);
        EXPECT_EQ(FreeImage_GetWidth(page.get()), static_cast<unsigned>(9 + p));
        EXPECT_EQ(test::pixelAt(page.get(), 3, 2).r, 3 * 20 + p);
        EXPECT_EQ(test::pixelAt(page.get(), 3, 2).g, 60);
    }
}

TEST(LoadingTest, FilesWithoutPagesOpenNothing) {
    TempDir dir;
    test::writeFile(dir.file("text.tif"), "plain text, not an image");
    test::writeFile(dir.file("empty.tif"), "");
    EXPECT_EQ(openPagesInProcess(dir.file("text.tif")), nullptr);
    EXPECT_EQ(openPagesInProcess(dir.file("empty.tif")), nullptr);
    EXPECT_EQ(openPagesInProcess(dir.file("missing.tif")), nullptr);
}

TEST(LoadingTest, TruncatedFaxReportsAProblemInsteadOfABlankPage) {
    auto source = openPagesInProcess(test::corpusFile("testfax4-truncated.tiff"));
    ASSERT_NE(source, nullptr);
    imaging::PageInfo info;
    source->loadPage(0, info);
    EXPECT_NE(info.problem, "");
}

TEST(LoadingTest, RefusedPageIsNullWithAReasonAndLaterPagesStillLoad) {
    TempDir dir;
    const std::string path = dir.file("refused.tif");
    test::TiffPage unknown = test::greyPage(4, 4, [](int x, int) { return uint8_t(x); });
    unknown.photometric = 7; // a photometric neither library has a conversion for
    const test::TiffPage rgb = test::rgbPage(4, 4, test::patternColour);
    ASSERT_TRUE(test::writeTiff(path, {rgb, rgb, rgb, unknown, rgb}));
    auto source = openPagesInProcess(path);
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(source->pageCount(), 5);
    for (int p = 0; p < 5; ++p) {
        imaging::PageInfo info;
        imaging::Bitmap page = source->loadPage(p, info);
        if (p == 3) {
            EXPECT_EQ(page, nullptr);
            EXPECT_NE(info.problem, "");
        } else {
            EXPECT_NE(page, nullptr) << p;
            EXPECT_EQ(info.problem, "") << p;
        }
    }
}

TEST(LoadingTest, CleanCorpusFilesLoadWithoutProblems) {
    for (const char* name :
         {"miniswhite-1c-1b.tiff", "palette-1c-4b.tiff", "smallliz.tif", "zackthecat.tif",
          "ojpeg_chewey_subsamp21_multi_strip.tiff", "quad-jpeg.tif", "oxford.tif",
          "BigTIFFMotorola.tif", "test_ifd_loop_to_first.tif", "g4-multi.tiff"}) {
        auto source = openPagesInProcess(test::corpusFile(name));
        ASSERT_NE(source, nullptr) << name;
        for (int p = 0; p < source->pageCount(); ++p) {
            imaging::PageInfo info;
            EXPECT_NE(source->loadPage(p, info), nullptr) << name << " page " << p;
            EXPECT_EQ(info.problem, "") << name << " page " << p;
        }
    }
}

TEST(LoadingTest, OldStyleJpegIsRecordedAsCompressionSix) {
    auto source = openPagesInProcess(test::corpusFile("smallliz.tif"));
    ASSERT_NE(source, nullptr);
    imaging::PageInfo info;
    imaging::Bitmap page = source->loadPage(0, info);
    EXPECT_EQ(info.sourceCompression, 6);
    EXPECT_EQ(FreeImage_GetWidth(page.get()), 160u);
}

// Half floats (16-bit IEEE samples) hold the values ImageMagick reads from them, grey ones
// mapped to 8 bits (0..1 to 0..255); FreeImage misreads half-float grey as 16-bit colour.
TEST(LoadingTest, HalfFloatPagesHoldTheirValues) {
    struct Case {
        const char* file;
        FREE_IMAGE_TYPE type;
        int channels;
        const char* rawFormat;
    } cases[] = {{"random-fp16.tiff", FIT_BITMAP, 1, "gray:"}, {"spring.tif", FIT_RGBF, 3, "rgb:"}};
    for (const Case& c : cases) {
        auto source = openPagesInProcess(test::corpusFile(c.file));
        ASSERT_NE(source, nullptr) << c.file;
        imaging::PageInfo info;
        imaging::Bitmap page = source->loadPage(0, info);
        ASSERT_NE(page, nullptr) << c.file << ": " << info.problem;
        EXPECT_EQ(FreeImage_GetImageType(page.get()), c.type) << c.file;

        TempDir dir;
        const std::string raw = dir.file("samples.raw");
        const test::ProgramResult decoded =
            test::runProgram("/usr/bin/convert", {test::corpusFile(c.file), "-depth", "16",
                                                  "-endian", "LSB", c.rawFormat + raw});
        ASSERT_EQ(decoded.exitStatus, 0) << decoded.err;
        const std::string bytes = test::readFile(raw);
        const unsigned width = FreeImage_GetWidth(page.get());
        const unsigned height = FreeImage_GetHeight(page.get());
        ASSERT_EQ(bytes.size(), size_t{2} * c.channels * width * height) << c.file;
        int worst = 0;
        for (unsigned y = 0; y < height; ++y) {
            const BYTE* row = FreeImage_GetScanLine(page.get(), static_cast<int>(height - 1 - y));
            for (unsigned i = 0; i < width * c.channels; ++i) {
                uint16_t expected = 0;
                std::memcpy(&expected, bytes.data() + 2 * (size_t{y} * width * c.channels + i), 2);
                // Levels are compared in 16 bits: an 8-bit level stands for 257 of them.
                const long got =
                    c.type == FIT_BITMAP
                        ? row[i] * 257L
                        : std::lround(
                              std::clamp(reinterpret_cast<const float*>(row)[i], 0.0f, 1.0f) *
                              65535);
                worst =
                    std::max(worst, std::abs(static_cast<int>(got) - static_cast<int>(expected)));
            }
        }
        EXPECT_LE(worst, c.type == FIT_BITMAP ? 129 : 2) << c.file;
    }
}

struct FreeImageMultiCloser {
    void operator()(FIMULTIBITMAP* multi) const { FreeImage_CloseMultiBitmap(multi, 0); }
};

// Each page is read at its own directory, yet comes out exactly as FreeImage's multi-page
// reader gives it, in either byte order and in classic and big TIFF files.
TEST(LoadingTest, PagesReadAtTheirOwnDirectoryMatchTheMultiPageReader) {
    std::vector<test::TiffPage> pages;
    for (int p = 0; p < 5; ++p) {
        test::TiffPage page = test::rgbPage(13 + p, 7, [p](int x, int y) {
            return test::Rgb{static_cast<uint8_t>(x * 19 + p), static_cast<uint8_t>(y * 31),
                             static_cast<uint8_t>(p * 40)};
        });
        page.compression = p % 2 ? 5 : 1; // LZW and none
        pages.push_back(page);
    }
    pages.push_back(test::greyPage(9, 9, [](int x, int y) { return x * y; }));
    TempDir dir;
    for (const char* mode : {"wl", "wb", "wl8", "wb8"}) {
        const std::string path = dir.file(std::string("pages-") + mode + ".tif");
        ASSERT_TRUE(test::writeTiff(path, pages, mode)) << mode;
        std::unique_ptr<FIMULTIBITMAP, FreeImageMultiCloser> multi(
            FreeImage_OpenMultiBitmap(FIF_TIFF, path.c_str(), FALSE, TRUE, TRUE, 0));
        auto source = openPagesInProcess(path);
        ASSERT_TRUE(multi && source) << mode;
        ASSERT_EQ(source->pageCount(), static_cast<int>(pages.size())) << mode;
        // Backwards too: a page before the last one read is reached again.
        for (const int index : {0, 1, 2, 3, 4, 5, 2}) {
            imaging::PageInfo info;
            const imaging::Bitmap page = source->loadPage(index, info);
            FIBITMAP* expected = FreeImage_LockPage(multi.get(), index);
            ASSERT_TRUE(page && expected) << mode << " page " << index << " " << info.problem;
            ASSERT_EQ(FreeImage_GetBPP(page.get()), FreeImage_GetBPP(expected)) << mode;
            EXPECT_TRUE(test::imagesMatch(page.get(), expected)) << mode << " " << index;
            EXPECT_EQ(
                std::memcmp(FreeImage_GetBits(page.get()), FreeImage_GetBits(expected),
                            size_t{FreeImage_GetPitch(expected)} * FreeImage_GetHeight(expected)),
                0)
                << mode << " " << index;
            EXPECT_EQ(FreeImage_GetDotsPerMeterX(page.get()), FreeImage_GetDotsPerMeterX(expected));
            FreeImage_UnlockPage(multi.get(), expected, FALSE);
        }
    }
}

// libtiff reads the file through a buffer of the decoder's own: pages whose strips and
// directories are read through it, straddle its end or are read past it are written straight
// from their strips with the pixels FreeImage reads from them, in either order of the pages.
TEST(LoadingTest, PagesAroundTheReadingBufferAreWrittenWhole) {
    struct Size {
        int width, height, rowsPerStrip, compression;
    } sizes[] = {{1, 1, 0, 1},   {8, 8, 0, 1},     {36, 37, 0, 1},  {37, 37, 0, 1},
                 {64, 64, 0, 1}, {300, 300, 7, 5}, {700, 400, 0, 1}};
    std::vector<test::TiffPage> pages;
    for (const Size& size : sizes) {
        pages.push_back(test::rgbPage(size.width, size.height, test::patternColour));
        pages.back().rowsPerStrip = size.rowsPerStrip;
        pages.back().compression = size.compression;
    }
    TempDir dir;
    const std::string path = dir.file("sizes.tif");
    ASSERT_TRUE(test::writeTiff(path, pages));
    auto source = openPagesInProcess(path);
    ASSERT_NE(source, nullptr);
    imaging::SaveRecipe recipe;
    recipe.freeImageFormat = FIF_BMP;
    std::strcpy(recipe.formatKey, "bmp");
    for (const int index : {0, 1, 2, 3, 4, 5, 6, 2, 0}) {
        const std::string written = dir.file("page.bmp");
        const int file = open(written.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        imaging::PageInfo info;
        ASSERT_TRUE(source->encodeDirectly(index, info, recipe, file)) << index;
        close(file);
        EXPECT_EQ(info.problem, "") << index;
        const imaging::Bitmap page(FreeImage_Load(FIF_BMP, written.c_str(), 0));
        const imaging::Bitmap expected = source->loadPage(index, info);
        ASSERT_TRUE(page && expected) << index;
        EXPECT_TRUE(test::imagesMatch(page.get(), expected.get())) << index;
    }
}

// libtiff reads as many bytes as an uncompressed page's only strip needs when its byte count
// looks bogus. That rescues a count of 0 or one past the end of the file, but a count that is
// merely short would take whatever follows the strip for pixels: such a page fails, on every
// way a page is read.
TEST(LoadingTest, OnlyStripShorterThanItsRowsFailsThePage) {
    const struct {
        uint32_t byteCount;
        bool fails;
    } cases[] = {{8192, true}, {1, true}, {0, false}, {0x7FFFFFFF, false}};
    const test::TiffPage written = test::rgbPage(128, 278, test::patternColour);
    TempDir dir;
    const std::string reference = dir.file("reference.tif");
    ASSERT_TRUE(test::writeTiff(reference, {written}));
    imaging::PageInfo expectedInfo;
    const imaging::Bitmap expected = openPagesInProcess(reference)->loadPage(0, expectedInfo);
    imaging::SaveRecipe recipe;
    std::strcpy(recipe.formatKey, "bmp");
    for (const auto& c : cases) {
        const std::string path = dir.file("strip-" + std::to_string(c.byteCount) + ".tif");
        ASSERT_TRUE(test::writeTiff(path, {written}));
        ASSERT_TRUE(test::patchTag(path, 279, c.byteCount)); // StripByteCounts
        auto source = openPagesInProcess(path);
        ASSERT_NE(source, nullptr);
        imaging::PageInfo info;
        const imaging::Bitmap page = source->loadPage(0, info);
        const int file = open(dir.file("page.bmp").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        imaging::PageInfo directInfo;
        const bool direct = source->encodeDirectly(0, directInfo, recipe, file).has_value();
        close(file);
        if (c.fails) {
            EXPECT_EQ(page, nullptr) << c.byteCount;
            EXPECT_EQ(info.problem, "Not enough data for scanline 0: the strip holds " +
                                        std::to_string(c.byteCount) +
                                        " bytes, its rows need 106752");
            EXPECT_FALSE(direct) << c.byteCount;
        } else {
            ASSERT_NE(page, nullptr) << c.byteCount;
            EXPECT_EQ(info.problem, "") << c.byteCount;
            EXPECT_TRUE(test::imagesMatch(page.get(), expected.get())) << c.byteCount;
            EXPECT_TRUE(direct) << c.byteCount;
        }
    }
}

} // namespace
} // namespace kx::decoder