// Converts every sample TIFF kept in tests/data the way a conversion run does (worker on its
// own thread, pages decoded in the decoder process) and checks the outcome: files that decode
// give every page with the pixels an independent decoder (libtiff's tiff2rgba) sees, files
// that cannot be decoded fail cleanly and leave nothing behind.

#include "engine/saving.h"
#include "tests/engine/conversion_fixture.h"
#include "tests/support/image_compare.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace kx::engine {
namespace {

namespace fs = std::filesystem;

constexpr int k_noReference = -1;

enum Outcome { k_fails, k_converts, k_eitherWay };

struct CorpusCase {
    const char* file;
    Outcome outcome;
    int pages;    // output files
    unsigned bpp; // depth of the first output with automatic depth
    int maxDelta; // against tiff2rgba, or k_noReference where the chain changes pixels
};

void PrintTo(const CorpusCase& c, std::ostream* os) {
    *os << c.file;
}

// Tolerances: exact for lossless samples; 1 where 16-bit palettes are narrowed with other
// rounding; JPEG samples differ by the two decoders' IDCT and chroma upsampling, YCbCr ones by
// the conversion's rounding.
const CorpusCase k_cases[] = {
    {"miniswhite-1c-1b.tiff", k_converts, 1, 1, 0},
    {"palette-1c-4b.tiff", k_converts, 1, 4, 1},
    {"testfax4.tiff", k_converts, 1, 1, 0},
    {"fax2d.tif", k_converts, 1, 1, 0},
    {"lzw-predictor2-irfanview.tif", k_converts, 1, 24, 0},
    {"alpha-unassoc-tile.tif", k_converts, 1, 32, k_noReference},
    {"alpha-assoc-strip.tif", k_converts, 1, 32, k_noReference},
    {"smallliz.tif", k_converts, 1, 24, 6},
    {"zackthecat.tif", k_converts, 1, 24, 6},
    {"ojpeg_chewey_subsamp21_multi_strip.tiff", k_converts, 1, 24, 6},
    {"quad-jpeg.tif", k_converts, 1, 24, 6},
    {"cmyk-lzw-irfanview.tiff", k_converts, 1, 24, 2},
    {"oxford.tif", k_converts, 1, 24, 0},
    {"ycbcr-cat.tif", k_converts, 1, 24, 12},
    {"BigTIFFMotorola.tif", k_converts, 1, 24, 0},
    {"hopper4I.tif", k_converts, 1, 4, 0},
    {"hopper_webp.tif", k_converts, 1, 24, 0},
    {"multipage.tiff", k_converts, 3, 1, 0},
    {"g4-multi.tiff", k_converts, 3, 1, 0},
    // libtiff's RGBA reader flips orientation-6 pages; pages are kept as stored here.
    {"g4_orientation_6.tif", k_converts, 1, 1, k_noReference},
    {"test_ifd_loop_to_first.tif", k_converts, 2, 8, 0},
    // The chain standardises, tone-maps or re-reads these on purpose.
    {"minisblack-1c-16b.tiff", k_converts, 1, 16, k_noReference},
    {"uint16_1_4660.tif", k_converts, 1, 16, k_noReference},
    {"rgb-3c-16b.tiff", k_converts, 1, 32, k_noReference},
    {"predictor-3-rgb-f32.tif", k_converts, 1, 32, k_noReference},
    {"USGS_13_n38w077_dir5.tiff", k_converts, 1, 32, k_noReference},
    {"spring.tif", k_converts, 1, 32, k_noReference},
    {"rgba-f32-128bit.tif", k_converts, 1, 32, k_noReference},
    {"random-fp16.tiff", k_converts, 1, 16, k_noReference},
    {"minisblack-2c-8b-alpha.tiff", k_converts, 1, 8, k_noReference},
    {"tiff_tiled_cmyk_jpeg.tif", k_converts, 1, 32, k_noReference},
    // Files that cannot be converted whole.
    {"shapes_multi_color.tif", k_fails, 4, 24, k_noReference},
    {"tiff_tiled_planar_lzw.tiff", k_fails, 0, 0, k_noReference},
    {"hopper2.tif", k_fails, 0, 0, k_noReference},
    {"testfax4-truncated.tiff", k_fails, 0, 0, k_noReference},
    {"fuzz-ascii-tag-overread.tif", k_fails, 0, 0, k_noReference},
    // FreeImage overruns a heap buffer on this file's IPTC block; whether the C library
    // notices and aborts the decoder depends on the heap's layout, so either outcome is clean.
    {"shapes_lzw_bigendian_iptc.tif", k_eitherWay, 0, 0, k_noReference},
    {"cmyk-3c-32b-float.tiff", k_fails, 0, 0, k_noReference},
    {"bomb-lzw-30k.tif", k_fails, 0, 0, k_noReference},
    {"bomb-g4-100k.tif", k_fails, 0, 0, k_noReference},
    {"bomb-none-100k.tif", k_fails, 0, 0, k_noReference},
};

class CorpusConversionTest : public ConversionFixture,
                             public ::testing::WithParamInterface<CorpusCase> {
protected:
    // Runs the worker on its own thread, as the window's conversion run does.
    int convert(const std::string& input) {
        m_progress.reset();
        EXPECT_TRUE(setInputFile(m_job, m_queue, input));
        ConversionRun run{m_settings, m_job, m_queue, m_progress};
        std::thread worker([&run] { conversionWorker(run); });
        worker.join();
        return m_progress.count;
    }

    std::vector<fs::path> outputs() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(m_dir.path()))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }
};

TEST_P(CorpusConversionTest, ConvertsOrFailsCleanly) {
    const CorpusCase& c = GetParam();
    const std::string input = test::corpusFile(c.file);
    ASSERT_TRUE(fs::exists(input)) << input;

    const int converted = convert(input);
    const std::vector<fs::path> files = outputs();
    if (c.outcome == k_eitherWay) {
        EXPECT_EQ(files.size(), static_cast<size_t>(converted));
        return;
    }
    EXPECT_EQ(converted, c.outcome == k_converts ? 1 : 0);
    ASSERT_EQ(files.size(), static_cast<size_t>(c.pages));
    for (const fs::path& file : files)
        EXPECT_EQ(file.extension(), ".bmp") << "no temporary file is left: " << file;
    if (files.empty())
        return;
    test::TestBitmap first = test::loadImage(files.front().string());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(first.get()), c.bpp);
    if (c.maxDelta == k_noReference)
        return;

    const std::string reference = m_dir.file("reference.tiff.ref");
    const test::ProgramResult decoded =
        test::runProgram("/usr/bin/tiff2rgba", {"-c", "none", input, reference});
    ASSERT_EQ(decoded.exitStatus, 0) << decoded.err;
    FIMULTIBITMAP* pages =
        FreeImage_OpenMultiBitmap(FIF_TIFF, reference.c_str(), FALSE, TRUE, TRUE, 0);
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(FreeImage_GetPageCount(pages), c.pages);
    for (int p = 0; p < c.pages; ++p) {
        FIBITMAP* expected = FreeImage_LockPage(pages, p);
        test::TestBitmap actual = test::loadImage(files[static_cast<size_t>(p)].string());
        EXPECT_TRUE(test::imagesMatch(actual.get(), expected, c.maxDelta))
            << c.file << " page " << p + 1;
        FreeImage_UnlockPage(pages, expected, FALSE);
    }
    FreeImage_CloseMultiBitmap(pages, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, CorpusConversionTest, ::testing::ValuesIn(k_cases), [](const auto& info) {
        std::string name = info.param.file;
        std::replace_if(
            name.begin(), name.end(),
            [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
        return name;
    });

} // namespace
} // namespace kx::engine
