#include "decoder/loading.h"
#include "engine/page_range.h"

#include "tests/support/image_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <gtest/gtest.h>

#include <set>

namespace kx::engine {
namespace {

using test::TempDir;

TEST(PageRangeTest, FrameLoadingChoosesPages) {
    struct Case {
        int frameLoading, pages, first, end;
    } cases[] = {{0, 5, 0, 5}, {1, 5, 0, 1}, {2, 1, 0, 1}, {2, 2, 0, 1}, {2, 3, 1, 2},
                 {2, 4, 1, 2}, {2, 5, 2, 3}, {2, 6, 2, 3}, {3, 5, 4, 5}, {3, 1, 0, 1},
                 {4, 1, 0, 1}, {9, 3, 0, 3}, {0, 0, 0, 0}, {4, 0, 0, 0}};
    for (const Case& c : cases) {
        const PageRange range = choosePageRange(c.frameLoading, c.pages);
        EXPECT_EQ(range.first, c.first) << c.frameLoading << " of " << c.pages;
        EXPECT_EQ(range.end, c.end) << c.frameLoading << " of " << c.pages;
    }
}

TEST(PageRangeTest, RandomPageCoversEveryPage) {
    std::set<int> seen;
    for (int i = 0; i < 400; ++i) {
        const PageRange range = choosePageRange(4, 4);
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
        PageInfo info;
        Bitmap page = source->loadPage(p, info);
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
    PageInfo info;
    source->loadPage(0, info);
    EXPECT_NE(info.problem, "");
}

TEST(LoadingTest, RefusedPageIsNullWithAReasonAndLaterPagesStillLoad) {
    auto source = openPagesInProcess(test::corpusFile("shapes_multi_color.tif"));
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(source->pageCount(), 5);
    for (int p = 0; p < 5; ++p) {
        PageInfo info;
        Bitmap page = source->loadPage(p, info);
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
            PageInfo info;
            EXPECT_NE(source->loadPage(p, info), nullptr) << name << " page " << p;
            EXPECT_EQ(info.problem, "") << name << " page " << p;
        }
    }
}

TEST(LoadingTest, OldStyleJpegIsRecordedAsCompressionSix) {
    auto source = openPagesInProcess(test::corpusFile("smallliz.tif"));
    ASSERT_NE(source, nullptr);
    PageInfo info;
    Bitmap page = source->loadPage(0, info);
    EXPECT_EQ(info.sourceCompression, 6);
    EXPECT_EQ(FreeImage_GetWidth(page.get()), 160u);
}

TEST(LoadingTest, GreyscaleStandardisationAndToneMapping) {
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

} // namespace
} // namespace kx::engine
