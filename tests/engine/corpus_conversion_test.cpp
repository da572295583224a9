#include "imaging/saving.h"
#include "tests/engine/conversion_fixture.h"
#include "tests/support/case_names.h"
#include "tests/support/gui_app.h"
#include "tests/support/image_compare.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

// Converts every sample TIFF kept in tests/data the way a conversion run does (worker on its
// own thread, pages decoded in the decoder process) and checks the outcome: files that decode
// give every page with the pixels an independent decoder (libtiff's tiff2rgba) sees, files
// that cannot be decoded fail cleanly and leave nothing behind.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

namespace kx::engine {
namespace {

namespace fs = std::filesystem;

constexpr int k_noReference = -1;

enum Outcome { k_fails, k_converts };

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
    {"cmyk-lzw-irfanview.tiff", k_converts, 1, 24, 0},
    {"oxford.tif", k_converts, 1, 24, 0},
    {"ycbcr-cat.tif", k_converts, 1, 24, 12},
    {"BigTIFFMotorola.tif", k_converts, 1, 24, 0},
    {"hopper4I.tif", k_converts, 1, 4, 0},
    {"hopper_webp.tif", k_converts, 1, 24, 0},
    {"multipage.tiff", k_converts, 3, 1, 0},
    {"g4-multi.tiff", k_converts, 3, 1, 0},
    // tiff2rgba mirrors an orientation-6 page without turning it; pages are turned here.
    {"g4_orientation_6.tif", k_converts, 1, 1, k_noReference},
    // Its chain loops back to the first page: both pages are written, the file fails.
    {"test_ifd_loop_to_first.tif", k_fails, 2, 8, 0},
    // 16 bits per sample scaled to 8 rounds down where libtiff rounds to nearest.
    {"rgb-3c-16b.tiff", k_converts, 1, 32, 1},
    // The chain standardises, tone-maps or re-reads these on purpose.
    {"minisblack-1c-16b.tiff", k_converts, 1, 8, k_noReference},
    {"uint16_1_4660.tif", k_converts, 1, 8, k_noReference},
    {"predictor-3-rgb-f32.tif", k_converts, 1, 32, k_noReference},
    {"USGS_13_n38w077_dir5.tiff", k_converts, 1, 8, k_noReference},
    {"spring.tif", k_converts, 1, 32, k_noReference},
    {"rgba-f32-128bit.tif", k_converts, 1, 32, k_noReference},
    {"random-fp16.tiff", k_converts, 1, 8, k_noReference},
    {"minisblack-2c-8b-alpha.tiff", k_converts, 1, 32, k_noReference},
    {"tiff_tiled_cmyk_jpeg.tif", k_converts, 1, 24, 0},
    {"tiff_tiled_planar_lzw.tiff", k_converts, 1, 24, 0},
    {"hopper2.tif", k_converts, 1, 8, 0},
    // Its fourth page has 12-bit samples, which tiff2rgba does not read.
    {"shapes_multi_color.tif", k_converts, 5, 24, k_noReference},
    // Float CMYK, which tiff2rgba does not read either.
    {"cmyk-3c-32b-float.tiff", k_converts, 1, 24, k_noReference},
    // Files that cannot be converted whole.
    {"testfax4-truncated.tiff", k_fails, 0, 0, k_noReference},
    {"fuzz-ascii-tag-overread.tif", k_fails, 0, 0, k_noReference},
    // FreeImage would overrun a heap buffer on this file's IPTC block and read its ICC
    // profile after freeing it; the decoder keeps both from it.
    {"shapes_lzw_bigendian_iptc.tif", k_converts, 1, 24, 0},
    {"bomb-lzw-30k.tif", k_fails, 0, 0, k_noReference},
    {"bomb-g4-100k.tif", k_fails, 0, 0, k_noReference},
    {"bomb-none-100k.tif", k_fails, 0, 0, k_noReference},
};

class WorkerRun : public ConversionFixture {
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

class CorpusConversionTest : public WorkerRun, public ::testing::WithParamInterface<CorpusCase> {};

TEST_P(CorpusConversionTest, ConvertsOrFailsCleanly) {
    const CorpusCase& c = GetParam();
    const std::string input = test::corpusFile(c.file);
    ASSERT_TRUE(fs::exists(input)) << input;

    const int converted = convert(input);
    const std::vector<fs::path> files = outputs();
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

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusConversionTest, ::testing::ValuesIn(k_cases),
                         [](const auto& info) { return test::caseName(info.param.file); });

// Pages that used to come out visibly wrong, from the chain or from FreeImage's TIFF loader.
// Each is converted through the worker with the settings given and compared with an
// independent decoder's view of its source: libtiff's tiff2rgba, or ImageMagick's convert with
// the operations that stand for what the chain was asked to do.
struct FidelityCase {
    const char* name;
    std::function<std::string(const test::TempDir&)> source; // path of the input
    std::function<void(settings::Settings&, JobState&)> change;
    unsigned bpp;                         // depth of the first output
    std::vector<std::string> convertArgs; // ImageMagick operations; empty: tiff2rgba alone
    int maxDelta;                         // per channel; -1: the mean difference is checked
    double maxMeanDelta = 0;              // mean per channel, where quantisation moves pixels
};

void PrintTo(const FidelityCase& c, std::ostream* os) {
    *os << c.name;
}

std::function<std::string(const test::TempDir&)> sample(const char* name) {
    return [name](const test::TempDir&) { return test::corpusFile(name); };
}

std::string written(const test::TempDir& dir, const char* name, test::TiffPage page) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(test::writeTiff(path, {page}));
    return path;
}

// A sample retiled by libtiff's tiffcp with the compression given.
std::function<std::string(const test::TempDir&)> tiled(const char* name, const char* compression) {
    return [=](const test::TempDir& dir) {
        const std::string path = dir.file(std::string("tiled-") + compression + ".tif");
        const test::ProgramResult made =
            test::runProgram("/usr/bin/tiffcp", {"-t", "-w", "64", "-l", "64", "-c", compression,
                                                 test::corpusFile(name), path});
        EXPECT_EQ(made.exitStatus, 0) << made.err;
        return path;
    };
}

void nothing(settings::Settings&, JobState&) {}

void rotate(settings::Settings& s, int angle, int type) {
    s.doImageRotation = 1;
    s.imageRotation = angle;
    s.imageRotationType = static_cast<int8_t>(type);
}

void depth(JobState& job, int bpp) {
    job.autoDepth = false;
    job.targetDepth = bpp;
}

test::TiffPage greyRamp() {
    return test::greyPage(64, 64,
                          [](int x, int y) { return static_cast<uint8_t>(y * 4 + x / 16); });
}

test::TiffPage grey16MinIsWhite() {
    test::TiffPage page = test::grey16Page(64, 64, [](int x, int y) {
        return static_cast<uint16_t>(x == 0 && y == 0 ? 65535 : (y * 64 + x) * 16);
    });
    page.photometric = 0; // min-is-white
    return page;
}

// Four saturated blocks in eight shades each: 32 colours, too many for 4 bits.
test::TiffPage colourBlocks() {
    return test::rgbPage(64, 64, [](int x, int y) {
        const uint8_t shade = static_cast<uint8_t>(200 + (x % 8) * 6);
        const int block = (x / 32) + 2 * (y / 32);
        return block == 0   ? test::Rgb{shade, 20, 20}
               : block == 1 ? test::Rgb{20, shade, 20}
               : block == 2 ? test::Rgb{20, 20, shade}
                            : test::Rgb{shade, shade, 20};
    });
}

// Grey with unassociated alpha: a ramp across, fading in downwards.
test::TiffPage greyWithAlpha() {
    test::TiffPage page{.width = 32, .height = 16, .samplesPerPixel = 2, .photometric = 1};
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
            page.data.insert(page.data.end(),
                             {static_cast<uint8_t>(x * 8), static_cast<uint8_t>(y * 17)});
    return page;
}

// A palette page without a SamplesPerPixel tag, as Pillow writes them.
test::TiffPage paletteWithoutSamplesTag() {
    test::TiffPage page =
        test::palettePage(32, 32, {{200, 30, 40}, {10, 220, 90}, {250, 250, 10}, {0, 0, 0}},
                          [](int x, int y) { return static_cast<uint8_t>((x / 8 + y / 8) % 4); });
    page.samplesPerPixelTag = false;
    return page;
}

const FidelityCase k_fidelityCases[] = {
    // Pages whose colours fit the target palette keep exactly those colours.
    {"two_colours_after_a_turn",
     sample("multipage.tiff"),
     [](settings::Settings& s, JobState&) { rotate(s, 90, 0); },
     1,
     {"-rotate", "-90"},
     0},
    {"sixteen_colours_after_a_turn",
     sample("palette-1c-4b.tiff"),
     [](settings::Settings& s, JobState&) { rotate(s, 90, 0); },
     4,
     {"-rotate", "-90"},
     1},
    {"every_grey_level_inside_a_frame",
     [](const test::TempDir& dir) { return written(dir, "ramp.tif", greyRamp()); },
     [](settings::Settings& s, JobState&) {
         s.doFrame = 1;
         s.solidLeft = s.solidRight = s.solidTop = s.solidBottom = 2;
         s.solidLeftColor = s.solidRightColor = s.solidTopColor = s.solidBottomColor = "FFFFFF";
         s.solidOpacity = 255;
     },
     8,
     {"-shave", "2x2", "-bordercolor", "white", "-border", "2"},
     0},
    {"many_colours_at_four_bits_stay_colour",
     [](const test::TempDir& dir) { return written(dir, "blocks.tif", colourBlocks()); },
     [](settings::Settings&, JobState& job) { depth(job, 4); },
     4,
     {},
     -1,
     6.0},
    {"many_greys_at_four_bits_get_an_even_grey_ramp",
     [](const test::TempDir& dir) { return written(dir, "ramp.tif", greyRamp()); },
     [](settings::Settings&, JobState& job) { depth(job, 4); },
     4,
     {},
     -1,
     8.0},
    // Integer samples deeper than 8 bits are scaled, never tone-mapped; grey stays grey.
    {"sixteen_bit_rgb_is_scaled", sample("rgb-3c-16b.tiff"), nothing, 32, {}, 1},
    {"sixteen_bit_rgb_turned_is_scaled",
     sample("rgb-3c-16b.tiff"),
     [](settings::Settings& s, JobState&) { rotate(s, 180, 0); },
     32,
     {"-rotate", "180"},
     1},
    {"sixteen_bit_grey_stays_grey", sample("minisblack-1c-16b.tiff"), nothing, 8, {}, 1},
    // "Large Images" leaves a page alone when the new size would exceed it either way.
    {"large_images_never_enlarges",
     sample("lzw-predictor2-irfanview.tif"),
     [](settings::Settings& s, JobState&) {
         s.doImageResize = 1;
         s.imageResizeType = 1;
         s.keepAspectRatio = 1;
         s.imageWidth = 1000;
         s.imageHeight = 100;
         s.imageWidthUnit = s.imageHeightUnit = 0;
     },
     24,
     {},
     0},
    // Advanced rotation by quarter turns moves pixels exactly.
    {"advanced_half_turn",
     sample("lzw-predictor2-irfanview.tif"),
     [](settings::Settings& s, JobState&) { rotate(s, 180, 1); },
     24,
     {"-rotate", "180"},
     0},
    {"advanced_quarter_turn_of_a_square",
     [](const test::TempDir& dir) {
         return written(dir, "square.tif", test::rgbPage(48, 48, test::patternColour));
     },
     [](settings::Settings& s, JobState&) { rotate(s, 270, 1); },
     24,
     {"-rotate", "90"},
     0},
    // FreeImage's loader, corrected in the decoder.
    {"no_samples_per_pixel_tag_means_no_alpha",
     [](const test::TempDir& dir) {
         return written(dir, "no-spp.tif", paletteWithoutSamplesTag());
     },
     [](settings::Settings&, JobState& job) { depth(job, 32); },
     32,
     {},
     0},
    {"tiled_cmyk_lzw", tiled("cmyk-lzw-irfanview.tiff", "lzw"), nothing, 24, {}, 0},
    {"tiled_cmyk_uncompressed", tiled("cmyk-lzw-irfanview.tiff", "none"), nothing, 24, {}, 0},
    {"tiled_cmyk_deflate", tiled("cmyk-lzw-irfanview.tiff", "zip"), nothing, 24, {}, 0},
    {"sixteen_bit_min_is_white",
     [](const test::TempDir& dir) { return written(dir, "white16.tif", grey16MinIsWhite()); },
     nothing,
     8,
     {},
     1},
    {"associated_alpha_is_unpremultiplied",
     sample("alpha-assoc-strip.tif"),
     nothing,
     32,
     {"-strip"},
     1},
    // ImageMagick ignores the alpha plane of this file; libtiff reads it.
    {"grey_with_associated_alpha",
     sample("minisblack-2c-8b-alpha.tiff"),
     nothing,
     32,
     {"tiff2rgba", "-strip"},
     1},
    {"grey_with_unassociated_alpha",
     [](const test::TempDir& dir) { return written(dir, "grey-alpha.tif", greyWithAlpha()); },
     nothing,
     32,
     {"-strip"},
     0},
    {"half_float_grey", sample("random-fp16.tiff"), nothing, 8, {"-depth", "8"}, 1},
    {"orientation_zero_is_ignored",
     [](const test::TempDir& dir) {
         test::TiffPage page = test::rgbPage(20, 10, test::patternColour);
         page.orientation = 1;
         const std::string path = written(dir, "orientation.tif", page);
         EXPECT_TRUE(test::patchTag(path, 274, 0));
         return path;
     },
     nothing,
     24,
     {},
     0},
    {"resolution_unit_zero_is_ignored",
     [](const test::TempDir& dir) {
         const std::string path =
             written(dir, "unit.tif", test::rgbPage(20, 10, test::patternColour));
         EXPECT_TRUE(test::patchTag(path, 296, 0));
         return path;
     },
     nothing,
     24,
     {},
     0},
    {"unreadable_exif_pointer_is_ignored",
     [](const test::TempDir& dir) {
         test::TiffPage page = test::rgbPage(20, 10, test::patternColour);
         page.exifOffset = 1u << 30;
         return written(dir, "exif.tif", page);
     },
     nothing,
     24,
     {},
     0},
};

class PageFidelityTest : public WorkerRun, public ::testing::WithParamInterface<FidelityCase> {};

// The mean difference per channel over the whole page, both brought to 32 bits.
double meanDifference(FIBITMAP* actual, FIBITMAP* expected) {
    test::TestBitmap a(FreeImage_ConvertTo32Bits(actual));
    test::TestBitmap b(FreeImage_ConvertTo32Bits(expected));
    const unsigned width = FreeImage_GetWidth(a.get()), height = FreeImage_GetHeight(a.get());
    if (width != FreeImage_GetWidth(b.get()) || height != FreeImage_GetHeight(b.get()))
        return 255;
    double total = 0;
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* p = FreeImage_GetScanLine(a.get(), y);
        const BYTE* q = FreeImage_GetScanLine(b.get(), y);
        for (unsigned i = 0; i < 3 * width; ++i)
            total += std::abs(int(p[i + i / 3]) - int(q[i + i / 3]));
    }
    return total / (3.0 * width * height);
}

TEST_P(PageFidelityTest, LooksLikeItsSource) {
    const FidelityCase& c = GetParam();
    test::ensureGuiApplication();
    const test::TempDir sources;
    const std::string input = c.source(sources);
    c.change(m_settings, m_job);
    ASSERT_EQ(convert(input), 1);
    const std::vector<fs::path> files = outputs();
    ASSERT_FALSE(files.empty());
    test::TestBitmap actual = test::loadImage(files.front().string());
    ASSERT_NE(actual, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(actual.get()), c.bpp);

    test::ProgramResult decoded;
    std::string reference = sources.file("reference.tiff");
    if (c.convertArgs.empty()) {
        decoded = test::runProgram("/usr/bin/tiff2rgba", {"-c", "none", input, reference});
    } else {
        // "tiff2rgba" first: libtiff decodes, ImageMagick only unpremultiplies its output.
        std::string decodedInput = input;
        auto operation = c.convertArgs.begin();
        if (*operation == "tiff2rgba") {
            decodedInput = sources.file("decoded.tiff");
            decoded = test::runProgram("/usr/bin/tiff2rgba", {"-c", "none", input, decodedInput});
            ASSERT_EQ(decoded.exitStatus, 0) << decoded.err;
            ++operation;
        }
        std::vector<std::string> args{decodedInput + "[0]"};
        args.insert(args.end(), operation, c.convertArgs.end());
        reference = sources.file("reference.png");
        args.push_back("PNG32:" + reference);
        decoded = test::runProgram("/usr/bin/convert", args);
    }
    ASSERT_EQ(decoded.exitStatus, 0) << decoded.err;
    test::TestBitmap expected = test::loadImage(reference);
    ASSERT_NE(expected, nullptr);
    if (c.maxDelta >= 0)
        EXPECT_TRUE(test::imagesMatch(actual.get(), expected.get(), c.maxDelta));
    else
        EXPECT_LE(meanDifference(actual.get(), expected.get()), c.maxMeanDelta);
}

INSTANTIATE_TEST_SUITE_P(Pages, PageFidelityTest, ::testing::ValuesIn(k_fidelityCases),
                         test::byName);

// The watermark's "%bpp%" shows the depth each page is saved with: 1 for a bilevel page, 24
// for the colour page after it.
TEST_F(WorkerRun, WatermarkShowsTheDepthThePageIsSavedWith) {
    test::ensureGuiApplication();
    const std::string input = m_dir.file("two-depths.tif");
    ASSERT_TRUE(test::writeTiff(
        input, {test::bilevelPage(120, 60, [](int x, int y) { return (x / 10 + y / 10) % 2; }),
                test::rgbPage(120, 60, test::patternColour)}));
    m_settings.doWatermark = 1;
    m_settings.font = "Arial";
    m_settings.fontSize = 12;
    m_settings.fontColor = "FFFFFF";
    m_settings.backColor = "FF0000";
    m_settings.textOpacity = m_settings.backOpacity = 255;
    const auto drawn = [&](const std::string& text, const std::string& name) {
        m_settings.text = text;
        m_settings.filenameMask = name + ".%ext%";
        PreparedWatermark prepared;
        EXPECT_EQ(prepareWatermark(m_settings, prepared), WatermarkProblem::None);
        m_progress.reset();
        EXPECT_TRUE(setInputFile(m_job, m_queue, input));
        ConversionRun run{m_settings, m_job, m_queue, m_progress};
        run.watermark = &prepared;
        conversionWorker(run);
        std::vector<test::TestBitmap> pages;
        for (const char* page : {"[1].bmp", "[2].bmp"})
            pages.push_back(test::loadImage(m_dir.file(name + page)));
        return pages;
    };
    const auto tokens = drawn("%bpp%", "token");
    const auto one = drawn("1", "one");
    const auto twentyFour = drawn("24", "twenty-four");
    ASSERT_NE(tokens[0], nullptr);
    ASSERT_NE(tokens[1], nullptr);
    EXPECT_TRUE(test::imagesMatch(tokens[0].get(), one[0].get(), 0));
    EXPECT_TRUE(test::imagesMatch(tokens[1].get(), twentyFour[1].get(), 0));
    EXPECT_FALSE(test::imagesMatch(tokens[1].get(), one[1].get(), 0));
}

} // namespace
} // namespace kx::engine
