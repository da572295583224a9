#include "base/file_replace.h"
#include "imaging/bitmap.h"
#include "imaging/saving.h"
#include "tests/support/case_names.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/image_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace kx::imaging {
namespace {

// The reason of a failed save, for the cases that look only at the result.
std::string& unusedWhy() {
    static std::string why;
    return why;
}

using test::imagesMatch;
using test::readFile;
using test::TempDir;

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes.at(at + i))) << (8 * i);
    return value;
}

// An 8-bit palette page of 13 x 5 pixels (rows padded to 16 bytes) with 256 distinct colours;
// the padding bytes hold index 200 so that a scan past the width would show.
Bitmap palettePage(const std::function<uint8_t(int, int)>& index) {
    Bitmap page(FreeImage_Allocate(13, 5, 8));
    RGBQUAD* palette = FreeImage_GetPalette(page.get());
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 7),
                      0};
    for (int y = 0; y < 5; ++y) {
        BYTE* line = FreeImage_GetScanLine(page.get(), y);
        for (int x = 0; x < 16; ++x)
            line[x] = x < 13 ? index(x, y) : 200;
    }
    FreeImage_SetDotsPerMeterX(page.get(), 3937);
    FreeImage_SetDotsPerMeterY(page.get(), 5906);
    return page;
}

std::string freeImageBmp(FIBITMAP* page, int flags) {
    MemoryStream memory(FreeImage_OpenMemory());
    FreeImage_SaveToMemory(FIF_BMP, page, memory.get(), flags);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory.get(), &data, &size);
    return std::string(reinterpret_cast<char*>(data), size);
}

test::TestBitmap decode(const std::string& bytes) {
    MemoryStream memory(
        FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                             static_cast<DWORD>(bytes.size())));
    return test::TestBitmap(FreeImage_LoadFromMemory(FIF_BMP, memory.get(), 0));
}

SaveTarget bmpJob(int depth, int flags = 0) {
    SaveTarget job;
    job.outputFormatKey = "bmp";
    job.freeImageFormat = FIF_BMP;
    job.targetDepth = depth;
    job.saveFlags = flags;
    return job;
}

settings::Settings colourTable(int exact) {
    settings::Settings s;
    s.bmpColorTable = exact;
    return s;
}

size_t entriesIn(const std::filesystem::path& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

struct FlagCase {
    const char* name;
    const char* key;
    void (*configure)(settings::Settings&);
    int expected;
};

class SaveFlags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(SaveFlags, MatchTheFormatTable) {
    settings::Settings s;
    GetParam().configure(s);
    EXPECT_EQ(computeSaveFlags(GetParam().key, s), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SaveFlags,
    ::testing::Values(
        FlagCase{"JpgQualityChromaProgressive", "jpg",
                 [](auto& s) { s.jpgQuality = 90, s.jpgChroma = 2, s.jpgSaveAs = 3; }, 0x605A},
        FlagCase{"JpgOutOfRangeKeepsValidParts", "jpg",
                 [](auto& s) { s.jpgQuality = 101, s.jpgChroma = 9, s.jpgSaveAs = 2; }, 0x20000},
        FlagCase{"JpgNegativeQuality", "jpg",
                 [](auto& s) { s.jpgQuality = -1, s.jpgChroma = 0, s.jpgSaveAs = -3; }, 0x10000},
        FlagCase{"WebpLossless", "webp", [](auto& s) { s.webpQuality = 100; }, 0x100},
        FlagCase{"WebpQuality", "webp", [](auto& s) { s.webpQuality = 99; }, 99},
        FlagCase{"WebpOutOfRange", "webp", [](auto& s) { s.webpQuality = -7; }, 0},
        FlagCase{"TiffLzwCmyk", "tiff", [](auto& s) { s.tiffCompression = 6, s.tiffColorMode = 1; },
                 0x4001},
        FlagCase{"TiffUnknownCompressionKeepsCmyk", "tiff",
                 [](auto& s) { s.tiffCompression = 9, s.tiffColorMode = 1; }, 1},
        FlagCase{"TiffNone", "tiff", [](auto& s) { s.tiffCompression = 0; }, 0x800},
        FlagCase{"PngStoredInterlaced", "png",
                 [](auto& s) { s.pngCompression = 0, s.pngInterlaced = 1; }, 0x300},
        FlagCase{"PngBest", "png", [](auto& s) { s.pngCompression = 3; }, 9},
        FlagCase{"PngUnknownLevelKeepsInterlace", "png",
                 [](auto& s) { s.pngCompression = 4, s.pngInterlaced = 1; }, 0x200},
        FlagCase{"BmpRle", "bmp", [](auto& s) { s.bmpCompression = 1; }, 1},
        FlagCase{"BmpOutOfRange", "bmp", [](auto& s) { s.bmpCompression = 2; }, 0},
        FlagCase{"ExrNone", "exr", [](auto& s) { s.exrCompression = 0; }, 2},
        FlagCase{"ExrB44", "exr", [](auto& s) { s.exrCompression = 4; }, 32},
        FlagCase{"ExrOutOfRange", "exr", [](auto& s) { s.exrCompression = 5; }, 0},
        FlagCase{"TgaRle", "tga", [](auto& s) { s.tgaCompression = 1; }, 2},
        FlagCase{"JxrLossless", "jxr", [](auto&) {}, 100},
        FlagCase{"GifNone", "gif", [](auto& s) { s.jpgQuality = 90; }, 0},
        FlagCase{"UnknownKey", "xyz", [](auto& s) { s.bmpCompression = 1; }, 0}),
    test::byName);

// Where the padding bytes that follow absolute runs of odd length in 8-bit run-length data are.
std::vector<size_t> absoluteRunPadding(const std::string& bmp) {
    std::vector<size_t> padding;
    const auto* data = reinterpret_cast<const uint8_t*>(bmp.data());
    for (size_t at = le32(bmp, 10); at + 1 < bmp.size();) {
        const uint8_t count = data[at];
        const uint8_t code = data[at + 1];
        if (count != 0 || code == 0) {
            at += 2; // an encoded run or the end of a line
        } else if (code == 1) {
            break; // the end of the bitmap
        } else if (code == 2) {
            at += 4; // a move
        } else {
            if (code % 2 == 1 && at + 2 + code < bmp.size())
                padding.push_back(at + 2 + code);
            at += 2 + code + code % 2;
        }
    }
    return padding;
}

TEST(CompactBmp, KeepsOnlyTheUsedColoursAndFreeImagesPixels) {
    const Bitmap page =
        palettePage([](int x, int y) { return static_cast<uint8_t>((x + y) % 10); });
    for (const bool rle : {false, true}) {
        SCOPED_TRACE(rle ? "rle" : "uncompressed");
        const std::string bytes = compactBmpBytes(page.get(), rle);
        ASSERT_GT(bytes.size(), 94u);
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        EXPECT_EQ(le32(bytes, 2), bytes.size());
        EXPECT_EQ(le32(bytes, 6), 0u);
        EXPECT_EQ(le32(bytes, 10), 94u);
        EXPECT_EQ(le32(bytes, 14), 40u);
        EXPECT_EQ(le32(bytes, 18), 13u);
        EXPECT_EQ(le32(bytes, 22), 5u);
        EXPECT_EQ(le32(bytes, 30), rle ? 1u : 0u);
        EXPECT_EQ(le32(bytes, 34), bytes.size() - 94);
        EXPECT_EQ(le32(bytes, 38), 3937u);
        EXPECT_EQ(le32(bytes, 42), 5906u);
        EXPECT_EQ(le32(bytes, 46), 10u);
        EXPECT_EQ(le32(bytes, 50), 10u);
        const auto* palette = reinterpret_cast<const char*>(FreeImage_GetPalette(page.get()));
        EXPECT_EQ(bytes.substr(54, 40), std::string(palette, 40));
        std::string full = freeImageBmp(page.get(), rle ? BMP_SAVE_RLE : 0);
        EXPECT_EQ(le32(full, 10), 1078u);
        for (const size_t at : absoluteRunPadding(full))
            full[at] = '\0'; // FreeImage leaves it unset
        // Run-length data loses only the end-of-line marker before the end-of-bitmap marker.
        const std::string expected =
            rle ? full.substr(1078, full.size() - 1078 - 4) + std::string("\0\1", 2)
                : full.substr(1078);
        EXPECT_EQ(bytes.substr(94), expected);
        const auto decoded = decode(bytes);
        EXPECT_TRUE(imagesMatch(decoded.get(), page.get()));
        EXPECT_EQ(FreeImage_GetDotsPerMeterX(decoded.get()), 3937u);
    }
}

TEST(CompactBmp, OneColourAndRefusedPages) {
    const Bitmap black = palettePage([](int, int) { return uint8_t{0}; });
    const std::string bytes = compactBmpBytes(black.get(), false);
    EXPECT_EQ(le32(bytes, 10), 58u);
    EXPECT_EQ(le32(bytes, 46), 1u);
    EXPECT_TRUE(imagesMatch(decode(bytes).get(), black.get()));

    const Bitmap rgb(FreeImage_Allocate(4, 4, 24));
    EXPECT_TRUE(compactBmpBytes(rgb.get(), false).empty());
    EXPECT_TRUE(compactBmpBytes(nullptr, true).empty());
}

TEST(CompactBmp, RunLengthPageGivesTheSameBytesEveryTime) {
    // Rows are encoded bottom-up into one buffer. The bottom row is absolute runs of 3 and 6
    // around a repeat, leaving its pixels where the padding of the next rows' runs (of 13 and
    // of 5) falls, so that padding copied from an earlier row would show.
    const Bitmap page = palettePage([](int x, int y) {
        if (y == 0)
            return static_cast<uint8_t>(x < 3 ? 11 + x : x < 7 ? 20 : 30 + x);
        if (y == 1)
            return static_cast<uint8_t>(x * 19 + 1);
        if (y == 2)
            return static_cast<uint8_t>(x < 5 ? x * 7 + 3 : 9);
        return static_cast<uint8_t>(y);
    });
    for (const bool exact : {false, true}) {
        SCOPED_TRACE(exact ? "exact table" : "full table");
        TempDir dir;
        ASSERT_TRUE(savePage(page.get(), dir.file("first.bmp"), bmpJob(8, BMP_SAVE_RLE),
                             colourTable(exact ? 1 : 0), unusedWhy()));
        ASSERT_TRUE(savePage(page.get(), dir.file("second.bmp"), bmpJob(8, BMP_SAVE_RLE),
                             colourTable(exact ? 1 : 0), unusedWhy()));
        const std::string first = readFile(dir.file("first.bmp"));
        EXPECT_EQ(first, readFile(dir.file("second.bmp")));
        const std::vector<size_t> padding = absoluteRunPadding(first);
        EXPECT_EQ(padding.size(), 3u);
        for (const size_t at : padding)
            EXPECT_EQ(first[at], '\0') << "padding at byte " << at;
        EXPECT_TRUE(imagesMatch(decode(first).get(), page.get()));
    }
}

TEST(SavePage, ChoosesTheWriterByColourTableSetting) {
    TempDir dir;
    const Bitmap page = palettePage([](int x, int) { return static_cast<uint8_t>(x % 10); });
    ASSERT_TRUE(
        savePage(page.get(), dir.file("exact.bmp"), bmpJob(8, 1), colourTable(1), unusedWhy()));
    EXPECT_EQ(readFile(dir.file("exact.bmp")), compactBmpBytes(page.get(), true));
    for (const int flags : {0, BMP_SAVE_RLE}) {
        const std::string path = dir.file("auto" + std::to_string(flags) + ".bmp");
        ASSERT_TRUE(savePage(page.get(), path, bmpJob(8, flags), colourTable(0), unusedWhy()));
        const std::string full = readFile(path);
        EXPECT_EQ(le32(full, 2), full.size());
        EXPECT_EQ(le32(full, 10), 1078u);
        EXPECT_EQ(le32(full, 30), static_cast<uint32_t>(flags));
        EXPECT_TRUE(imagesMatch(decode(full).get(), page.get()));
    }
    EXPECT_EQ(entriesIn(dir.path()), 3u);
}

TEST(SavePage, NonPalettePageWithExactTableIsSavedAsItIs) {
    TempDir dir;
    const Bitmap page(FreeImage_Allocate(6, 3, 24));
    ASSERT_TRUE(savePage(page.get(), dir.file("p.bmp"), bmpJob(8), colourTable(1), unusedWhy()));
    const auto loaded = test::loadImage(dir.file("p.bmp"));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(FreeImage_GetBPP(loaded.get()), 24u);
}

TEST(SavePage, FailuresLeaveNothingBehind) {
    TempDir dir;
    const Bitmap page = palettePage([](int, int) { return uint8_t{3}; });
    test::writeFile(dir.file("plain"), "not a folder");
    test::writeFile(dir.file("old.bmp"), "previous");
    std::filesystem::create_directory(dir.file("folder.bmp"));

    EXPECT_FALSE(savePage(nullptr, dir.file("null.bmp"), bmpJob(8), colourTable(0), unusedWhy()));
    EXPECT_FALSE(
        savePage(page.get(), dir.file("missing/p.bmp"), bmpJob(8), colourTable(0), unusedWhy()));
    EXPECT_FALSE(
        savePage(page.get(), dir.file("plain/p.bmp"), bmpJob(8), colourTable(1), unusedWhy()));
    // The write succeeds but the rename onto a folder fails: the temporary file must go.
    EXPECT_FALSE(
        savePage(page.get(), dir.file("folder.bmp"), bmpJob(8), colourTable(0), unusedWhy()));
    SaveTarget unknown = bmpJob(8);
    unknown.freeImageFormat = FIF_UNKNOWN;
    EXPECT_FALSE(savePage(page.get(), dir.file("old.bmp"), unknown, colourTable(0), unusedWhy()));
    EXPECT_FALSE(base::replaceFileContent(dir.folder(), "x"));

    EXPECT_EQ(readFile(dir.file("old.bmp")), "previous");
    EXPECT_EQ(entriesIn(dir.path()), 3u);
}

// Saved by a user whom the folder's permissions hold back: root writes into read-only folders.
TEST(SavePage, ReadOnlyFolderFailsCleanly) {
    const std::optional<test::UnprivilegedUser> user = test::unprivilegedUser();
    if (!user)
        GTEST_SKIP() << "no user without root's rights";
    TempDir dir;
    const Bitmap page = palettePage([](int, int) { return uint8_t{1}; });
    // The user's own folder, without the right to write into it.
    ASSERT_EQ(chown(dir.path().c_str(), user->uid, user->gid), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
    constexpr int k_refused = 0, k_saved = 1, k_outOfReach = 2;
    const std::optional<int> result = test::runAs(*user, [&] {
        if (access(dir.path().c_str(), R_OK | X_OK) != 0)
            return k_outOfReach;
        const bool saved =
            savePage(page.get(), dir.file("p.bmp"), bmpJob(8), colourTable(1), unusedWhy());
        return saved ? k_saved : k_refused;
    });
    chmod(dir.path().c_str(), 0700);
    if (!result)
        GTEST_SKIP() << "cannot run as user " << user->uid;
    if (*result == k_outOfReach)
        GTEST_SKIP() << "the temporary folder is out of reach of user " << user->uid;
    EXPECT_EQ(*result, k_refused);
    EXPECT_EQ(entriesIn(dir.path()), 0u);
}

TEST(SavePage, FullDiskKeepsThePreviousFileAndLeavesNoPartialOne) {
    TempDir dir;
    test::writeFile(dir.file("page.bmp"), "previous");
    const Bitmap big(FreeImage_Allocate(600, 400, 24)); // 720 KB of pixels
    SaveTarget job = bmpJob(24);
    bool saved24 = true;
    bool savedCompact = false;
    {
        // A file-size limit makes the write fail halfway, as a full disk does.
        const test::FileSizeLimit limit(100'000);
        saved24 = savePage(big.get(), dir.file("page.bmp"), job, colourTable(0), unusedWhy());
        const Bitmap palette = palettePage([](int x, int) { return static_cast<uint8_t>(x); });
        savedCompact =
            savePage(palette.get(), dir.file("page.bmp"), bmpJob(8), colourTable(1), unusedWhy());
    }

    EXPECT_FALSE(saved24);
    EXPECT_TRUE(savedCompact) << "a small page still fits";
    EXPECT_NE(readFile(dir.file("page.bmp")), "previous");
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "no temporary file is left";
}

TEST(SavePage, ReplacesAnExistingFileKeepingItsPermissions) {
    TempDir dir;
    const std::string path = dir.file("p.bmp");
    test::writeFile(path, "previous");
    chmod(path.c_str(), 0640);
    const Bitmap page = palettePage([](int, int) { return uint8_t{2}; });
    ASSERT_TRUE(savePage(page.get(), path, bmpJob(8), colourTable(1), unusedWhy()));
    EXPECT_EQ(readFile(path), compactBmpBytes(page.get(), false));
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(SavePage, BmpLargerThanItsSizeFieldsFailsBeforeWritingAnything) {
    TempDir dir;
    // A bitmap over pixels that do not exist: the size alone decides, and 4 GiB are never
    // allocated or read.
    static BYTE nothing[1];
    const Bitmap huge(FreeImage_ConvertFromRawBitsEx(FALSE, nothing, FIT_BITMAP, 66000, 66000,
                                                     66000, 8, 0, 0, 0, FALSE));
    ASSERT_TRUE(huge);
    std::string reason;
    EXPECT_FALSE(savePage(huge.get(), dir.file("huge.bmp"), bmpJob(8), colourTable(0), reason));
    EXPECT_EQ(reason, "the page would make a BMP file of 4356001078 bytes, more than the format "
                      "can hold (4 GiB)");
    EXPECT_EQ(entriesIn(dir.path()), 0u);
}

TEST(SavePage, FailureReasonIsTheSystemsOwn) {
    TempDir dir;
    const Bitmap page = palettePage([](int, int) { return uint8_t{1}; });
    std::string reason;
    EXPECT_FALSE(
        savePage(page.get(), dir.file("missing/p.bmp"), bmpJob(8), colourTable(0), reason));
    EXPECT_EQ(reason,
              "cannot create a file in " + dir.file("missing/") + ": " + std::strerror(ENOENT));
    EXPECT_FALSE(savePage(page.get(), dir.file(std::string(300, 'x') + ".bmp"), bmpJob(8),
                          colourTable(1), reason));
    EXPECT_EQ(reason, "cannot write " + dir.file(std::string(300, 'x') + ".bmp") + ": " +
                          std::strerror(ENAMETOOLONG));
    EXPECT_FALSE(savePage(nullptr, dir.file("null.bmp"), bmpJob(8), colourTable(0), reason));
    EXPECT_EQ(reason, "no image was left to save");
    EXPECT_EQ(entriesIn(dir.path()), 0u);
}

TEST(SavePage, NoNamedFileExistsWhileAPageIsBeingWritten) {
    TempDir dir;
    size_t visible = 99;
    EXPECT_TRUE(base::replaceFile(
        dir.file("p.bmp"),
        [&](int fd) {
            visible = entriesIn(dir.path());
            return base::writeAll(fd, "BM");
        },
        base::Flush::Lazily, unusedWhy()));
    EXPECT_EQ(visible, 0u) << "an interrupted write leaves nothing behind";
    EXPECT_EQ(readFile(dir.file("p.bmp")), "BM");
}

// A 4-bit page with 16 distinct colours whose indices come from `index`.
Bitmap page4(int width, int height, const std::function<int(int, int)>& index) {
    Bitmap page(FreeImage_Allocate(width, height, 4));
    RGBQUAD* palette = FreeImage_GetPalette(page.get());
    for (int i = 0; i < 16; ++i)
        palette[i] = {static_cast<BYTE>(i * 16), static_cast<BYTE>(255 - i * 9),
                      static_cast<BYTE>(i * 5), 0};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            BYTE value = static_cast<BYTE>(index(x, y) & 15);
            FreeImage_SetPixelIndex(page.get(), x, y, &value);
        }
    }
    return page;
}

TEST(SavePage, RunLengthFourBitPagesDecodeToTheirPixels) {
    const struct {
        const char* name;
        int width;
        std::function<int(int, int)> index;
    } cases[] = {
        {"one-pixel", 1, [](int, int y) { return y; }},
        {"odd-run", 7, [](int, int y) { return 3 + y; }},
        {"alternating", 9, [](int x, int y) { return x % 2 ? 5 : y; }},
        {"odd-absolute", 5, [](int x, int y) { return x * 3 + y; }},
        {"even-absolute", 6, [](int x, int y) { return x * 3 + y; }},
        {"runs-between-absolutes", 23, [](int x, int y) { return x > 7 && x < 15 ? 9 : x + y; }},
        {"long-run", 601, [](int x, int y) { return x < 590 ? y : x; }},
        {"long-absolute", 603, [](int x, int y) { return x * 7 / 3 + y; }},
        {"short-pieces", 11, [](int x, int y) { return x % 3 ? 1 : x + y; }},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const Bitmap page = page4(c.width, 3, c.index);
        const std::string path = dir.file(std::string(c.name) + ".bmp");
        ASSERT_TRUE(
            savePage(page.get(), path, bmpJob(4, BMP_SAVE_RLE), colourTable(0), unusedWhy()));
        const std::string bytes = readFile(path);
        EXPECT_EQ(le32(bytes, 30), 2u) << c.name << ": BI_RLE4";
        EXPECT_EQ(le32(bytes, 2), bytes.size()) << c.name;
        EXPECT_EQ(le32(bytes, 34), bytes.size() - le32(bytes, 10)) << c.name;
        EXPECT_EQ(bytes.substr(bytes.size() - 2), std::string("\0\1", 2)) << c.name;
        const test::TestBitmap loaded = decode(bytes);
        ASSERT_TRUE(loaded) << c.name;
        EXPECT_EQ(FreeImage_GetBPP(loaded.get()), 4u) << c.name;
        EXPECT_TRUE(imagesMatch(loaded.get(), page.get())) << c.name;
    }
    // A flat page is a run per row: far smaller than its rows.
    const Bitmap flat = page4(400, 100, [](int, int) { return 4; });
    ASSERT_TRUE(savePage(flat.get(), dir.file("flat.bmp"), bmpJob(4, BMP_SAVE_RLE), colourTable(0),
                         unusedWhy()));
    EXPECT_LT(readFile(dir.file("flat.bmp")).size(), 2000u);
}

class BmpRoundTrip : public ::testing::TestWithParam<int> {};

Bitmap pageOfDepth(int depth) {
    Bitmap rgb(FreeImage_Allocate(7, 6, 24));
    for (int y = 0; y < 6; ++y) {
        BYTE* line = FreeImage_GetScanLine(rgb.get(), y);
        for (int x = 0; x < 7; ++x) {
            line[3 * x + FI_RGBA_RED] = static_cast<BYTE>(x * 40);
            line[3 * x + FI_RGBA_GREEN] = static_cast<BYTE>(y * 50);
            line[3 * x + FI_RGBA_BLUE] = static_cast<BYTE>((x + y) * 20);
        }
    }
    FIBITMAP* converted = nullptr;
    switch (depth) {
    case 1:
        converted = FreeImage_Threshold(rgb.get(), 128);
        break;
    case 4:
        converted = FreeImage_ConvertTo4Bits(rgb.get());
        break;
    case 8:
        converted = FreeImage_ConvertTo8Bits(rgb.get());
        break;
    case 16:
        converted = FreeImage_ConvertTo16Bits565(rgb.get());
        break;
    case 32:
        converted = FreeImage_ConvertTo32Bits(rgb.get());
        break;
    default:
        converted = FreeImage_Clone(rgb.get());
        break;
    }
    Bitmap page(converted);
    FreeImage_SetDotsPerMeterX(page.get(), 11811);
    FreeImage_SetDotsPerMeterY(page.get(), 2835);
    return page;
}

TEST_P(BmpRoundTrip, KeepsPixelsAndResolution) {
    TempDir dir;
    const Bitmap page = pageOfDepth(GetParam());
    ASSERT_EQ(FreeImage_GetBPP(page.get()), static_cast<unsigned>(GetParam()));
    for (const int variant : {0, 1, 2, 3}) {
        const int exact = variant & 1;
        const int flags = variant >> 1 ? BMP_SAVE_RLE : 0;
        const std::string path = dir.file("p" + std::to_string(variant) + ".bmp");
        ASSERT_TRUE(
            savePage(page.get(), path, bmpJob(GetParam(), flags), colourTable(exact), unusedWhy()));
        const auto loaded = test::loadImage(path);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(FreeImage_GetBPP(loaded.get()), static_cast<unsigned>(GetParam()));
        EXPECT_TRUE(imagesMatch(loaded.get(), page.get()));
        EXPECT_EQ(FreeImage_GetDotsPerMeterX(loaded.get()), 11811u);
        EXPECT_EQ(FreeImage_GetDotsPerMeterY(loaded.get()), 2835u);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpRoundTrip, ::testing::Values(1, 4, 8, 16, 24, 32),
                         [](const auto& info) { return std::to_string(info.param) + "_bit"; });

} // namespace
} // namespace kx::imaging