#include "decoder/client/contained_decoder.h"
#include "decoder/tiff/loading.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"
#include "settings/settings.h"
#include "tests/support/image_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

namespace kx::decoder {
namespace {

using test::TempDir;

// A stand-in decoder written as a shell script, to play a decoder that misbehaves.
std::string fakeDecoder(const TempDir& dir, const std::string& body) {
    const std::string path = dir.file("fake-decoder");
    test::writeFile(path, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
    return path;
}

// The page count message of two pages, as the real decoder sends it.
const char* k_twoPages = "printf 'CDXK\\002\\000\\000\\000'";
const char* k_onePage = "printf 'CDXK\\001\\000\\000\\000'";

void expectSamePages(const std::string& file) {
    auto contained = openPagesContained(file);
    auto local = openPagesInProcess(file);
    ASSERT_NE(contained, nullptr) << file;
    ASSERT_NE(local, nullptr) << file;
    ASSERT_EQ(contained->pageCount(), local->pageCount()) << file;
    for (int p = 0; p < local->pageCount(); ++p) {
        imaging::PageInfo infoA, infoB;
        imaging::Bitmap a = contained->loadPage(p, infoA);
        imaging::Bitmap b = local->loadPage(p, infoB);
        EXPECT_EQ(infoA.problem, infoB.problem) << file << " page " << p;
        EXPECT_EQ(infoA.sourceCompression, infoB.sourceCompression) << file;
        ASSERT_EQ(a == nullptr, b == nullptr) << file << " page " << p;
        if (!a)
            continue;
        EXPECT_EQ(FreeImage_GetImageType(a.get()), FreeImage_GetImageType(b.get())) << file;
        EXPECT_EQ(FreeImage_GetBPP(a.get()), FreeImage_GetBPP(b.get())) << file;
        EXPECT_EQ(FreeImage_GetColorType(a.get()), FreeImage_GetColorType(b.get())) << file;
        EXPECT_EQ(FreeImage_GetDotsPerMeterX(a.get()), FreeImage_GetDotsPerMeterX(b.get()));
        EXPECT_EQ(FreeImage_GetRedMask(a.get()), FreeImage_GetRedMask(b.get())) << file;
        EXPECT_EQ(FreeImage_GetTransparencyCount(a.get()), FreeImage_GetTransparencyCount(b.get()));
        const size_t bytes = size_t{FreeImage_GetPitch(a.get())} * FreeImage_GetHeight(a.get());
        EXPECT_EQ(std::memcmp(FreeImage_GetBits(a.get()), FreeImage_GetBits(b.get()), bytes), 0)
            << file << " page " << p;
        if (FreeImage_GetPalette(a.get())) {
            EXPECT_EQ(std::memcmp(FreeImage_GetPalette(a.get()), FreeImage_GetPalette(b.get()),
                                  FreeImage_GetColorsUsed(a.get()) * sizeof(RGBQUAD)),
                      0);
        }
    }
}

TEST(ContainedDecoderTest, PagesArriveExactlyAsDecodedInProcess) {
    for (const char* name :
         {"multipage.tiff", "palette-1c-4b.tiff", "minisblack-1c-16b.tiff", "rgb-3c-16b.tiff",
          "predictor-3-rgb-f32.tif", "rgba-f32-128bit.tif", "alpha-unassoc-tile.tif",
          "minisblack-2c-8b-alpha.tiff", "shapes_multi_color.tif", "hopper2.tif", "smallliz.tif"})
        expectSamePages(test::corpusFile(name));
}

// The plain BMP of a page at its own depth, which large pages are written in straight from
// their strips.
imaging::SaveRecipe plainBmp() {
    imaging::SaveRecipe recipe;
    recipe.freeImageFormat = FIF_BMP;
    recipe.saveFlags = BMP_DEFAULT;
    recipe.bmpColorTable = settings::BmpColorTable::Auto;
    std::strcpy(recipe.formatKey, "bmp");
    return recipe;
}

// Page 0 written by `source` as the only page planned, into `output`; its problem.
std::string writeAlone(imaging::PageSource& source, const std::string& output) {
    const int fd = open(output.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || !source.encodePages(plainBmp(), [fd](int) { return fd; }))
        return "cannot start";
    source.plan(0, 1);
    imaging::PageInfo info;
    const imaging::EncodedPage page = source.loadEncodedPage(0, info);
    close(fd);
    if (info.problem.empty() && (!page.inOutput() || page.size() != test::readFile(output).size()))
        return "not the whole file";
    return info.problem;
}

// A large page alone is written by two threads of its decoder. When that decoder dies, the
// page is made once more, whole, by a fresh one; only when that one dies too does it fail.
TEST(ContainedDecoderTest, LargePageAloneIsWrittenWithBothCoresOrMadeAgainOnce) {
    TempDir dir;
    test::TiffPage large = test::rgbPage(1500, 1000, test::patternColour);
    large.compression = COMPRESSION_LZW;
    large.rowsPerStrip = 8;
    const std::string file = dir.file("large.tif");
    ASSERT_TRUE(test::writeTiff(file, {large}));
    auto local = openPagesInProcess(file);
    ASSERT_NE(local, nullptr);
    const int whole = open(dir.file("whole.bmp").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    imaging::PageInfo info;
    ASSERT_TRUE(local->encodeDirectly(0, info, plainBmp(), whole));
    close(whole);
    const struct {
        const char* name;
        int deaths; // decoders that die at their first page request
        const char* problem;
    } cases[] = {
        {"written", 0, ""},
        {"made-again", 1, ""},
        {"failed", 2, "the decoder was ended by signal 11"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string starts = dir.file(std::string(c.name) + "-starts");
        const std::string decoder =
            fakeDecoder(dir, "echo >> " + starts + "; if [ $(wc -l < " + starts + ") -le " +
                                 std::to_string(c.deaths) + " ]; then " + k_onePage +
                                 "; head -c 20 >/dev/null; kill -SEGV $$; fi; exec " +
                                 defaultDecoderPath() + " \"$1\"");
        auto source = openPagesContained(file, decoder, 10'000);
        ASSERT_NE(source, nullptr);
        const std::string output = dir.file(std::string(c.name) + ".bmp");
        EXPECT_EQ(writeAlone(*source, output), c.problem);
        source.reset();
        releaseIdleDecoders();
        if (*c.problem == '\0') {
            EXPECT_TRUE(test::readFile(output) == test::readFile(dir.file("whole.bmp")));
        }
        const std::string started = test::readFile(starts);
        EXPECT_EQ(std::count(started.begin(), started.end(), '\n'), std::min(c.deaths + 1, 2));
    }
}

// A decoder started ahead of any file serves the first file opened, and only that one start is
// made for it; one left idle until the program ends leaves by itself.
TEST(ContainedDecoderTest, DecoderStartedAheadServesTheFirstFile) {
    TempDir dir;
    const std::string starts = dir.file("starts");
    const std::string decoder =
        fakeDecoder(dir, "echo \"$#\" >> " + starts + "; exec " + defaultDecoderPath() + " \"$@\"");
    startDecoderAhead(decoder);
    auto source = openPagesContained(test::corpusFile("multipage.tiff"), decoder);
    ASSERT_NE(source, nullptr);
    imaging::PageInfo info;
    EXPECT_NE(source->loadPage(0, info), nullptr) << info.problem;
    source.reset();
    releaseIdleDecoders();
    EXPECT_EQ(test::readFile(starts), "0\n"); // started once, without a file
}

TEST(ContainedDecoderTest, DecoderCrashFailsThePageAndTheProgramGoesOn) {
    TempDir dir;
    const std::string fatal = dir.file("fatal.tif");
    ASSERT_TRUE(test::writeTiff(fatal, {test::crashingPage(), test::pageWithFloatCmykThumbnail()}));
    auto source = openPagesContained(fatal, test::crashingDecoderPath());
    ASSERT_NE(source, nullptr);
    imaging::PageInfo info;
    EXPECT_EQ(source->loadPage(0, info), nullptr);
    EXPECT_EQ(info.problem, "the decoder was ended by signal 6");
    // The next page comes from a fresh decoder; its thumbnail is no page and no trouble.
    imaging::PageInfo next;
    EXPECT_NE(source->loadPage(1, next), nullptr) << next.problem;
}

TEST(ContainedDecoderTest, CrashedDecoderIsReplacedForTheNextPage) {
    TempDir dir;
    // The first decoder dies on its first request; the second one has pages to give.
    const std::string marker = dir.file("crashed-once");
    const std::string decoder =
        fakeDecoder(dir, "if [ ! -e " + marker + " ]; then touch " + marker + "; " + k_twoPages +
                             "; head -c 20 >/dev/null; kill -SEGV $$; fi; exec " +
                             defaultDecoderPath() + " \"$1\"");
    auto source = openPagesContained(test::corpusFile("multipage.tiff"), decoder, 5000);
    ASSERT_NE(source, nullptr);
    imaging::PageInfo first, second;
    EXPECT_EQ(source->loadPage(0, first), nullptr);
    EXPECT_EQ(first.problem, "the decoder was ended by signal 11");
    EXPECT_NE(source->loadPage(1, second), nullptr) << second.problem;
    EXPECT_EQ(second.problem, "");
}

TEST(ContainedDecoderTest, DecompressionBombsFailWithoutDecoding) {
    for (const char* name : {"bomb-lzw-30k.tif", "bomb-g4-100k.tif", "bomb-none-100k.tif"}) {
        auto source = openPagesContained(test::corpusFile(name));
        ASSERT_NE(source, nullptr) << name;
        imaging::PageInfo info;
        EXPECT_EQ(source->loadPage(0, info), nullptr) << name;
        EXPECT_NE(info.problem, "") << name;
    }
}

TEST(ContainedDecoderTest, SilentDecoderTimesOutAndIsReplacedForTheNextPage) {
    TempDir dir;
    const std::string decoder = fakeDecoder(dir, std::string(k_twoPages) + "; exec sleep 30");
    auto source = openPagesContained(test::corpusFile("multipage.tiff"), decoder, 200);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->pageCount(), 2);
    for (int page : {0, 1}) {
        imaging::PageInfo info;
        EXPECT_EQ(source->loadPage(page, info), nullptr);
        EXPECT_EQ(info.problem, "the decoder stopped answering");
    }
}

TEST(ContainedDecoderTest, DecoderThatCannotStartOrSendsNonsenseOpensNothing) {
    TempDir dir;
    EXPECT_EQ(openPagesContained(test::corpusFile("multipage.tiff"), dir.file("missing")), nullptr);
    const std::string nonsense = fakeDecoder(dir, "echo garbage");
    EXPECT_EQ(openPagesContained(test::corpusFile("multipage.tiff"), nonsense, 1000), nullptr);
}

TEST(ContainedDecoderTest, MalformedPageIsRefused) {
    TempDir dir;
    // A page header claiming a page of absurd size, followed by nothing.
    const std::string decoder = fakeDecoder(
        dir, std::string(k_twoPages) +
                 "; head -c 4 >/dev/null; printf 'GPXK\\001\\000\\000\\000'; head -c 200 /dev/zero"
                 " | tr '\\000' '\\377'; sleep 1");
    auto source = openPagesContained(test::corpusFile("multipage.tiff"), decoder, 2000);
    ASSERT_NE(source, nullptr);
    imaging::PageInfo info;
    EXPECT_EQ(source->loadPage(0, info), nullptr);
    EXPECT_NE(info.problem, "");
}

TEST(ContainedDecoderTest, MalformedFileIsRefused) {
    TempDir dir;
    // After the recipe and the page request: a file header claiming 4 GiB sent inline.
    const std::string decoder =
        fakeDecoder(dir, std::string(k_twoPages) +
                             "; head -c 32 >/dev/null; printf 'FEXK'; head -c 36 /dev/zero;"
                             " printf '\\377\\377\\377\\377\\000\\000\\000\\000'; sleep 1");
    auto source = openPagesContained(test::corpusFile("multipage.tiff"), decoder, 2000);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(source->encodePages(imaging::SaveRecipe{}));
    imaging::PageInfo info;
    EXPECT_FALSE(source->loadEncodedPage(0, info).hasFile());
    EXPECT_EQ(info.problem, "the decoder stopped answering");
}

TEST(ContainedDecoderTest, DecoderInheritsNoStrayDescriptors) {
    TempDir dir;
    const std::string listing = dir.file("fds");
    const std::string decoder = fakeDecoder(dir, "ls -l /proc/$$/fd > " + listing);
    // Not close-on-exec, like a descriptor some library forgot to protect.
    const int stray = open(dir.file("stray").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(stray, 0);
    openPagesContained(test::corpusFile("multipage.tiff"), decoder, 2000);
    close(stray);
    const std::string fds = test::readFile(listing);
    EXPECT_NE(fds.find(" 0 -> socket:"), std::string::npos) << fds;
    EXPECT_NE(fds.find(" 2 -> /dev/null"), std::string::npos) << fds;
    EXPECT_EQ(fds.find("stray"), std::string::npos) << fds;
}

TEST(ContainedDecoderTest, WatermarkImageArrivesDecodedOrRefusedWithAReason) {
    TempDir dir;
    const imaging::Bitmap made(FreeImage_Allocate(9, 5, 24));
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, made.get(), dir.file("mark.png").c_str(), 0));
    std::string problem;
    const imaging::Bitmap image = decodeImageContained(dir.file("mark.png"), problem);
    ASSERT_TRUE(image) << problem;
    EXPECT_EQ(FreeImage_GetWidth(image.get()), 9u);
    EXPECT_EQ(FreeImage_GetHeight(image.get()), 5u);

    test::writeFile(dir.file("text.dat"), "not a picture");
    EXPECT_FALSE(decodeImageContained(dir.file("text.dat"), problem));
    EXPECT_EQ(problem, "not an image FreeImage can read");
    test::writeFile(dir.file("text.png"), "not a picture either");
    EXPECT_FALSE(decodeImageContained(dir.file("text.png"), problem));
    EXPECT_FALSE(problem.empty());
    EXPECT_FALSE(decodeImageContained(dir.file("mark.png"), problem, dir.file("none")));
    EXPECT_EQ(problem, "the page decoder " + dir.file("none") + " is missing");
    const std::string decoder = fakeDecoder(dir, "kill -SEGV $$");
    EXPECT_FALSE(decodeImageContained(dir.file("mark.png"), problem, decoder, 5000));
    EXPECT_EQ(problem, "the decoder was ended by signal 11");
}

TEST(ContainedDecoderTest, EndingAllDecodersEndsTheOnesStillWorking) {
    TempDir dir;
    // A decoder that announces two pages and then works forever on the first.
    const std::string decoder = fakeDecoder(dir, std::string(k_twoPages) + "; exec sleep 30");
    auto source = openPagesContained(test::corpusFile("multipage.tiff"), decoder, 60'000);
    ASSERT_TRUE(source);
    endAllDecoders();
    imaging::PageInfo info;
    EXPECT_FALSE(source->loadPage(0, info)) << "the page fails at once, not after a minute";
    EXPECT_EQ(info.problem, "the decoder was ended by signal 9");
}

// Small pages written into their output files are asked for several at a time: each still
// arrives in its own file with its own picture, in order, and a source let go of halfway
// through drops the pages asked for ahead.
TEST(ContainedDecoderTest, SmallPagesAskedForAheadArriveEachInItsFile) {
    TempDir dir;
    std::vector<test::TiffPage> pages;
    for (int p = 0; p < 23; ++p)
        pages.push_back(test::rgbPage(5 + p % 7, 4 + p % 3, [p](int x, int y) {
            return test::Rgb{static_cast<uint8_t>(x * 31 + p), static_cast<uint8_t>(y * 17),
                             static_cast<uint8_t>(p * 11)};
        }));
    const std::string path = dir.file("small.tif");
    ASSERT_TRUE(test::writeTiff(path, pages));
    auto local = openPagesInProcess(path);
    ASSERT_NE(local, nullptr);
    for (const int last : {22, 9}) {
        std::vector<int> files(pages.size(), -1);
        auto source = openPagesContained(path);
        ASSERT_NE(source, nullptr);
        ASSERT_TRUE(source->encodePages(plainBmp(), [&](int index) {
            const std::string name = dir.file("page-" + std::to_string(index) + ".bmp");
            return files[static_cast<size_t>(index)] =
                       open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        }));
        source->plan(0, static_cast<int>(pages.size()));
        for (int index = 0; index <= last; ++index) {
            imaging::PageInfo info;
            const imaging::EncodedPage encoded = source->loadEncodedPage(index, info);
            ASSERT_TRUE(encoded.inOutput()) << index << ": " << info.problem;
            const std::string name = dir.file("page-" + std::to_string(index) + ".bmp");
            EXPECT_EQ(encoded.size(), std::filesystem::file_size(name)) << index;
            const imaging::Bitmap written(FreeImage_Load(FIF_BMP, name.c_str(), 0));
            const imaging::Bitmap expected = local->loadPage(index, info);
            ASSERT_TRUE(written && expected) << index;
            EXPECT_TRUE(test::imagesMatch(written.get(), expected.get())) << index;
        }
        EXPECT_EQ(source->fileProblem(), "");
        for (const int file : files) {
            if (file >= 0)
                close(file);
        }
    }
}

} // namespace
} // namespace kx::decoder