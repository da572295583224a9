#include "tests/engine/conversion_fixture.h"

#include "base/paths.h"
#include "decoder/client/contained_decoder.h"
#include "decoder/tiff/loading.h"
#include "imaging/format_registry.h"
#include "imaging/saving.h"
#include "tests/support/case_names.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/image_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kx::engine {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

class ConversionWorkerTest : public ConversionFixture {
protected:
    std::string writePages(const std::string& name, int count, float dpi = 72) {
        std::vector<test::TiffPage> pages;
        for (int p = 0; p < count; ++p) {
            test::TiffPage page = test::rgbPage(11, 6, [p](int x, int y) {
                return test::Rgb{static_cast<uint8_t>(x * 20), static_cast<uint8_t>(y * 40 + p),
                                 static_cast<uint8_t>(p * 50)};
            });
            page.xResolution = page.yResolution = dpi;
            pages.push_back(page);
        }
        const std::string path = m_dir.file(name);
        EXPECT_TRUE(test::writeTiff(path, pages));
        return path;
    }

    bool convert(const std::string& input) {
        m_job.inputPath = input;
        m_job.targetDepth = m_settings.bmpBpp;
        m_progress.reset();
        ConversionRun run{m_settings, m_job, m_queue, m_progress};
        m_why.clear();
        return convertFile(run, m_why);
    }

    int runWorker(std::vector<std::string>* debug = nullptr, PageSourceFactory open = {}) {
        m_progress.reset();
        ConversionRun run{m_settings, m_job, m_queue, m_progress};
        if (debug)
            run.debug = [debug](std::string_view line) { debug->emplace_back(line); };
        if (open)
            run.openPages = std::move(open);
        conversionWorker(run);
        return m_progress.count;
    }

    std::string m_why; // of the last convert()
};

// The pages of a file read in this process, noting where the progress record stood at each
// page and asking the run to stop while page `stopAt` (0-based) is converted.
class WatchedPages : public imaging::PageSource {
public:
    WatchedPages(const std::string& path, Progress& progress, int stopAt,
                 std::vector<std::pair<int, int>>& seen)
        : m_pages(decoder::openPagesInProcess(path)), m_progress(progress), m_stopAt(stopAt),
          m_seen(seen) {}

    int pageCount() const override { return m_pages->pageCount(); }
    imaging::Bitmap loadPage(int index, imaging::PageInfo& info) override {
        {
            std::lock_guard guard(m_progress.lock);
            m_seen.emplace_back(m_progress.pageIndex, m_progress.pageCount);
        }
        if (index == m_stopAt)
            m_progress.requestStop();
        return m_pages->loadPage(index, info);
    }

private:
    std::unique_ptr<imaging::PageSource> m_pages;
    Progress& m_progress;
    int m_stopAt;
    std::vector<std::pair<int, int>>& m_seen;
};

uint32_t littleEndian32(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

TEST_F(ConversionWorkerTest, EveryPageIsSavedWithItsPixelsAndResolution) {
    const std::string input = writePages("scan.tif", 3, 150);
    ASSERT_TRUE(convert(input));
    for (int p = 1; p <= 3; ++p) {
        const std::string output = m_dir.file("scan[" + std::to_string(p) + "].bmp");
        test::TestBitmap saved = test::loadImage(output);
        ASSERT_NE(saved, nullptr) << output;
        EXPECT_EQ(test::pixelAt(saved.get(), 4, 3).g, 3 * 40 + (p - 1));
        // 150 dots per inch are 5906 pixels per metre in the BMP header.
        const std::string bytes = test::readFile(output);
        EXPECT_EQ(littleEndian32(bytes, 38), 5906u);
        EXPECT_EQ(littleEndian32(bytes, 42), 5906u);
    }
    EXPECT_EQ(m_job.outputPath, m_dir.file("scan.bmp")) << "the job's path has no suffix";
    EXPECT_FALSE(fs::exists(m_dir.file("scan.bmp")));
}

TEST_F(ConversionWorkerTest, OnePageFileHasNoSuffixAndSelectedPagesFollowFrameLoading) {
    ASSERT_TRUE(convert(writePages("one.tif", 1)));
    EXPECT_TRUE(fs::exists(m_dir.file("one.bmp")));

    m_settings.tiffFrameLoading = 2; // middle of six: the third page
    ASSERT_TRUE(convert(writePages("six.tif", 6)));
    test::TestBitmap middle = test::loadImage(m_dir.file("six.bmp"));
    ASSERT_NE(middle, nullptr);
    EXPECT_EQ(test::pixelAt(middle.get(), 0, 0).b, 2 * 50);
}

TEST_F(ConversionWorkerTest, AFailedPageMakesTheFileFailButKeepsTheOtherPages) {
    std::vector<test::TiffPage> pages(5, test::rgbPage(4, 4, test::patternColour));
    pages[3].photometric = 7; // a photometric neither library has a conversion for
    const std::string input = m_dir.file("shapes.tif");
    ASSERT_TRUE(test::writeTiff(input, pages));
    ASSERT_FALSE(convert(input));
    for (int p : {1, 2, 3, 5})
        EXPECT_TRUE(fs::exists(m_dir.file("shapes[" + std::to_string(p) + "].bmp")));
    EXPECT_FALSE(fs::exists(m_dir.file("shapes[4].bmp")));
}

TEST_F(ConversionWorkerTest, TruncatedDataIsNotPassedOffAsAPage) {
    EXPECT_FALSE(convert(test::corpusFile("testfax4-truncated.tiff")));
    EXPECT_TRUE(fs::is_empty(m_dir.path()));
}

TEST_F(ConversionWorkerTest, FileDateIsAppliedToEveryPageFile) {
    m_settings.fileTimestamp = 2;
    m_settings.customTimestamp = 1000000000; // a wall-clock date
    ASSERT_TRUE(convert(writePages("dated.tif", 2)));
    struct stat first {
    }, second{};
    ASSERT_EQ(stat(m_dir.file("dated[1].bmp").c_str(), &first), 0);
    ASSERT_EQ(stat(m_dir.file("dated[2].bmp").c_str(), &second), 0);
    std::tm local{};
    localtime_r(&first.st_mtime, &local);
    EXPECT_EQ(first.st_mtime + local.tm_gmtoff, 1000000000);
    EXPECT_EQ(second.st_mtime, first.st_mtime);

    m_settings.fileTimestamp = 1;
    const std::string input = writePages("copied.tif", 1);
    const struct timespec old[2] = {{0, UTIME_OMIT}, {123456789, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, input.c_str(), old, 0), 0);
    ASSERT_TRUE(convert(input));
    struct stat copied {};
    ASSERT_EQ(stat(m_dir.file("copied.bmp").c_str(), &copied), 0);
    EXPECT_EQ(copied.st_mtime, 123456789);
}

TEST_F(ConversionWorkerTest, SequenceNumberCountsSuccessfulJobsAcrossRuns) {
    m_settings.filenameMask = "%n%.%ext%";
    const std::string input = writePages("seq.tif", 1);
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(setInputFile(m_job, m_queue, input));
        EXPECT_EQ(runWorker(), 1);
    }
    EXPECT_TRUE(fs::exists(m_dir.file("00001.bmp")));
    EXPECT_TRUE(fs::exists(m_dir.file("00002.bmp")));
    EXPECT_EQ(m_job.sequenceNumber, 3);
}

TEST_F(ConversionWorkerTest, AStopEndsTheRunAfterTheCurrentPageAndFailsItsFile) {
    ASSERT_TRUE(setInputFile(m_job, m_queue, writePages("long.tif", 6)));
    std::vector<std::pair<int, int>> seen;
    const int converted = runWorker(nullptr, [&](const std::string& path) {
        return std::make_unique<WatchedPages>(path, m_progress, 2, seen);
    });
    EXPECT_EQ(converted, 0);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 6}, {2, 6}, {3, 6}}));
    for (int p = 1; p <= 6; ++p)
        EXPECT_EQ(fs::exists(m_dir.file("long[" + std::to_string(p) + "].bmp")), p <= 3) << p;
    EXPECT_EQ(m_progress.problem, "the run was stopped before page 4");
}

TEST_F(ConversionWorkerTest, AStopBetweenJobsLeavesTheOthersUntried) {
    for (int i = 0; i < 5; ++i)
        m_queue.add(writePages("job" + std::to_string(i) + ".tif", 1));
    // Files of one page are opened one job ahead: the fourth opens while the third job waits
    // for its page.
    int opened = 0;
    const int converted = runWorker(nullptr, [&](const std::string& path) {
        if (++opened == 4)
            m_progress.requestStop();
        return decoder::openPagesInProcess(path);
    });
    EXPECT_EQ(opened, 4);
    EXPECT_EQ(converted, 2) << "the third job stops before its first page";
}

TEST_F(ConversionWorkerTest, AFailedFileSaysWhy) {
    const std::string missing = m_dir.file("missing.tif");
    const std::string png = m_dir.file("picture.tif");
    test::writeFile(png, std::string("\x89PNG\r\n\x1A\n", 8) + std::string(40, '\0'));
    const std::string text = m_dir.file("notes.tif");
    test::writeFile(text, "just some notes");
    std::vector<test::TiffPage> pages(2, test::rgbPage(4, 4, test::patternColour));
    pages[1].photometric = 7; // a photometric nothing has a conversion for
    const std::string layers = m_dir.file("layers.tif");
    ASSERT_TRUE(test::writeTiff(layers, pages));
    const struct {
        const char* name;
        std::string input;
        std::string mask;
        std::string problem;
    } cases[] = {
        {"missing", missing, "", "cannot open " + missing + ": No such file or directory"},
        {"png", png, "", png + " is a PNG file, not a TIFF file"},
        {"text", text, "", text + " is not a TIFF file"},
        {"undecodable page", layers, "", "page 2: "},
        {"output folder that cannot take a file", writePages("fine.tif", 1),
         "missing/%filename%.%ext%", "cannot create a file in " + m_dir.file("missing/")},
    };
    for (const auto& c : cases) {
        m_settings.filenameMask = c.mask.empty() ? "%filename%.%ext%" : c.mask;
        EXPECT_FALSE(convert(c.input)) << c.name;
        EXPECT_EQ(m_why.rfind(c.problem, 0), 0u) << c.name << ": " << m_why;
    }
}

TEST_F(ConversionWorkerTest, FailedJobReportsZeroDurationToTheNext) {
    m_queue.add(m_dir.file("missing.tif"));
    m_queue.add(writePages("good.tif", 1));
    std::vector<int64_t> durations;
    runWorker(nullptr, [&](const std::string& path) {
        std::lock_guard guard(m_progress.lock);
        durations.push_back(m_progress.lastDuration);
        return decoder::openPagesInProcess(path);
    });
    ASSERT_EQ(durations.size(), 2u);
    EXPECT_EQ(durations[0], 0);
    // Whatever the order, the second job sees 0 after a failure or at least 1000 after a success.
    EXPECT_TRUE(durations[1] == 0 || durations[1] >= 1000);
}

TEST_F(ConversionWorkerTest, DebugLinesNameTheJobAndItsOutcome) {
    const std::string input = writePages("debug.tif", 1);
    ASSERT_TRUE(setInputFile(m_job, m_queue, input));
    std::vector<std::string> lines;
    EXPECT_EQ(runWorker(&lines), 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"Processing: " + input, "File Format: TIFF (LE)",
                                               "[OK] Saving As: " + m_dir.file("debug.bmp")}));

    m_queue.clear();
    m_queue.add(m_dir.file("missing.tif"));
    lines.clear();
    EXPECT_EQ(runWorker(&lines), 0);
    EXPECT_EQ(lines.back(), "[ERROR] Unable to convert the file!");
}

// The offset of the next-directory field of the directory at `directory` in a little-endian
// classic TIFF.
size_t nextDirectoryField(const std::string& bytes, uint32_t directory) {
    uint16_t entries = 0;
    std::memcpy(&entries, bytes.data() + directory, 2);
    return directory + 2 + 12 * size_t{entries};
}

TEST_F(ConversionWorkerTest, DirectoryChainCutAfterAPageFailsTheFileButKeepsTheReadPages) {
    std::string bytes = test::readFile(writePages("cut.tif", 2));
    const uint32_t first = littleEndian32(bytes, 4);
    const uint32_t pastTheEnd = static_cast<uint32_t>(bytes.size() + 4096);
    std::memcpy(bytes.data() + nextDirectoryField(bytes, first), &pastTheEnd, 4);
    test::writeFile(m_dir.file("cut.tif"), bytes);
    ASSERT_TRUE(setInputFile(m_job, m_queue, m_dir.file("cut.tif")));

    std::vector<std::string> lines;
    EXPECT_EQ(runWorker(&lines), 0);
    EXPECT_TRUE(fs::exists(m_dir.file("cut.bmp"))) << "the readable page is still written";
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "[ERROR] the directory chain is cut after page 1: the next "
                                       "directory lies past the end of the file");
}

TEST_F(ConversionWorkerTest, DirectoryChainLoopingBackFailsTheFileButKeepsTheReadPages) {
    // Page 2 of 5 names itself as the next directory: pages 3 to 5 cannot be reached.
    std::string bytes = test::readFile(writePages("loop.tif", 5));
    const uint32_t first = littleEndian32(bytes, 4);
    const uint32_t second = littleEndian32(bytes, nextDirectoryField(bytes, first));
    std::memcpy(bytes.data() + nextDirectoryField(bytes, second), &second, 4);
    test::writeFile(m_dir.file("loop.tif"), bytes);
    ASSERT_TRUE(setInputFile(m_job, m_queue, m_dir.file("loop.tif")));

    std::vector<std::string> lines;
    EXPECT_EQ(runWorker(&lines), 0);
    EXPECT_TRUE(fs::exists(m_dir.file("loop[2].bmp")));
    EXPECT_FALSE(fs::exists(m_dir.file("loop[3].bmp")));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "[ERROR] the directory chain loops at page 2");
}

TEST_F(ConversionWorkerTest, HiddenFilesLeftByAKilledRunAreSweptWhenARunStarts) {
    const auto hour = std::chrono::hours(1);
    const struct {
        const char* name;
        fs::file_time_type changed;
        bool swept;
    } files[] = {
        {".scan[3].bmp.kestrelix-Ab12Cd", fs::file_time_type::clock::now() - hour, true},
        {".scan[4].bmp.kestrelix-Ab12Cd", fs::file_time_type::clock::now() + hour, false},
        {".scan.bmp.backup", fs::file_time_type::clock::now() - hour, false},
    };
    for (const auto& file : files) {
        test::writeFile(m_dir.file(file.name), "part of a page");
        fs::last_write_time(m_dir.file(file.name), file.changed);
    }
    ASSERT_TRUE(setInputFile(m_job, m_queue, writePages("scan.tif", 1)));
    EXPECT_EQ(runWorker(), 1);
    for (const auto& file : files)
        EXPECT_EQ(fs::exists(m_dir.file(file.name)), !file.swept) << file.name;
}

TEST_F(ConversionWorkerTest, ResizeRefusedForMemorySaysWhy) {
    m_settings.doImageResize = true;
    m_settings.imageWidth = m_settings.imageHeight = 1'000'000;
    ASSERT_TRUE(setInputFile(m_job, m_queue, writePages("huge.tif", 1)));
    std::vector<std::string> lines;
    EXPECT_EQ(runWorker(&lines), 0);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind(
                  "[ERROR] Page 1: resizing the page to 1000000 x 1000000 needs ", 0),
              0u)
        << lines[lines.size() - 2];
}

struct RefusedPathCase {
    const char* name;
    std::string_view mask;
    bool outputBesideInput;
    const char* reason;
};

class RefusedOutputPath : public ConversionWorkerTest,
                          public ::testing::WithParamInterface<RefusedPathCase> {};

TEST_P(RefusedOutputPath, FailsThePageWithItsReasonAndWritesNothing) {
    fs::create_directories(m_dir.path() / "in");
    fs::create_directories(m_dir.path() / "out");
    fs::create_symlink(m_dir.path(), m_dir.path() / "out" / "link");
    const std::string input = m_dir.file("in/scan.tif");
    {
        const std::string made = writePages("scan.tif", 1);
        fs::rename(made, input);
    }
    const std::string before = test::readFile(input);
    m_job.outputFolder = GetParam().outputBesideInput ? m_dir.file("in/") : m_dir.file("out/");
    m_settings.filenameMask = std::string(GetParam().mask);
    ASSERT_TRUE(setInputFile(m_job, m_queue, input));

    std::vector<std::string> lines;
    EXPECT_EQ(runWorker(&lines), 0);
    ASSERT_GE(lines.size(), 2u);
    const std::string& reason = lines[lines.size() - 2];
    EXPECT_EQ(reason.rfind("[ERROR] Page 1: the output path ", 0), 0u) << reason;
    EXPECT_NE(reason.find(GetParam().reason), std::string::npos) << reason;
    EXPECT_EQ(test::readFile(input), before) << "the input is untouched";
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(m_dir.path()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1u) << "nothing was written";
}

INSTANTIATE_TEST_SUITE_P(
    Masks, RefusedOutputPath,
    ::testing::Values(
        RefusedPathCase{"ParentFolder", "../notes.txt", false, "leaves the output folder"},
        RefusedPathCase{"DeepParent", "a/../../x.bmp", false, "leaves the output folder"},
        RefusedPathCase{"ThroughALink", "link/escaped.bmp", false, "leaves the output folder"},
        RefusedPathCase{"TheInputItself", "%filename%.tif", true, "is the input file itself"},
        RefusedPathCase{"NulInTheName", std::string_view("x\0y.%ext%", 9), false,
                        "holds a NUL character"}),
    test::byName);

TEST_F(ConversionWorkerTest, MaskIntoASubfolderOfTheOutputFolderIsAllowed) {
    fs::create_directories(m_dir.path() / "sub");
    m_settings.filenameMask = "sub/../sub/%filename%.%ext%";
    EXPECT_TRUE(convert(writePages("inside.tif", 1)));
    EXPECT_TRUE(fs::exists(m_dir.file("sub/inside.bmp")));
}

TEST_F(ConversionWorkerTest, SaveFailuresSayWhyInTheDebugLine) {
    const std::string input = writePages("why.tif", 1);
    ASSERT_TRUE(setInputFile(m_job, m_queue, input));
    for (const auto& [mask, reason] :
         {std::pair<std::string, std::string>{std::string(300, 'n') + ".%ext%",
                                              std::strerror(ENAMETOOLONG)},
          {"missing/%filename%.%ext%", std::strerror(ENOENT)}}) {
        m_settings.filenameMask = mask;
        std::vector<std::string> lines;
        EXPECT_EQ(runWorker(&lines), 0);
        ASSERT_GE(lines.size(), 2u);
        const std::string& line = lines[lines.size() - 2];
        EXPECT_EQ(line.rfind("[ERROR] Page 1: cannot ", 0), 0u) << line;
        EXPECT_TRUE(line.ends_with(": " + reason)) << line;
    }
}

TEST_F(ConversionWorkerTest, MissingDecoderFailsThePageSayingSo) {
    const std::string input = writePages("nodecoder.tif", 1);
    ASSERT_TRUE(setInputFile(m_job, m_queue, input));
    const std::string missing = m_dir.file("kestrelix-decoder");
    const std::string notExecutable = m_dir.file("plain-decoder");
    test::writeFile(notExecutable, "#!/bin/sh\n");
    chmod(notExecutable.c_str(), 0644);
    for (const auto& [decoder, problem] :
         {std::pair{missing, "the page decoder " + missing + " is missing"},
          {notExecutable, "the page decoder " + notExecutable + " is not executable"}}) {
        m_progress.reset();
        ConversionRun run{m_settings, m_job, m_queue, m_progress};
        std::vector<std::string> lines;
        run.debug = [&lines](std::string_view line) { lines.emplace_back(line); };
        run.openPages = [decoder](const std::string& path) {
            return decoder::openPagesContained(path, decoder);
        };
        run.decoderProblem = [decoder] { return decoder::decoderProblem(decoder); };
        conversionWorker(run);
        EXPECT_EQ(m_progress.count, 0);
        EXPECT_EQ(lines, (std::vector<std::string>{"Processing: " + input, "File Format: TIFF (LE)",
                                                   "[ERROR] Page 1: " + problem,
                                                   "[ERROR] Unable to convert the file!"}));
    }
    EXPECT_EQ(decoder::decoderProblem(), "") << "the decoder beside this program is found";
    EXPECT_EQ(decoder::defaultDecoderPath(), base::programFolder() + "kestrelix-decoder");
}

// FNV-1a over a file's bytes: a short fingerprint for output files that must not change.
std::string fingerprint(const std::string& path) {
    uint64_t hash = 14695981039346656037ull;
    for (const char byte : test::readFile(path)) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// Pages of every kind the decoder hands over (colour, grey, palette, bilevel, 16-bit grey,
// small pages and one large enough to travel in a memory file), in an odd count so that
// the pages do not share out evenly between decoders.
std::vector<test::TiffPage> mixedPages() {
    std::vector<test::TiffPage> pages;
    test::TiffPage lzw = test::rgbPage(64, 48, test::patternColour);
    lzw.compression = 5; // LZW
    pages.push_back(lzw);
    pages.push_back(test::greyPage(33, 17, [](int x, int y) { return x * 7 + y * 3; }));
    pages.push_back(test::palettePage(20, 10, {{255, 0, 0}, {0, 128, 255}, {9, 9, 9}},
                                      [](int x, int y) { return (x + y) % 3; }));
    pages.push_back(test::bilevelPage(45, 30, [](int x, int y) { return (x ^ y) & 4; }));
    pages.push_back(test::grey16Page(16, 16, [](int x, int y) { return x * 4000 + y * 90; }));
    test::TiffPage large = test::rgbPage(320, 240, test::patternColour);
    large.compression = 5;
    pages.push_back(large);
    pages.push_back(test::rgbPage(7, 5, [](int x, int y) {
        return test::Rgb{static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 50), 77};
    }));
    return pages;
}

// Pages are shared out between decoders; one that dies costs only its own page.
TEST_F(ConversionWorkerTest, ADecoderDyingOnAPageCostsOnlyThatPage) {
    std::vector<test::TiffPage> pages;
    for (int p = 0; p < 6; ++p)
        pages.push_back(test::rgbPage(9, 4, test::patternColour));
    pages[1] = test::crashingPage();
    const std::string input = m_dir.file("fatal.tif");
    ASSERT_TRUE(test::writeTiff(input, pages));
    ASSERT_TRUE(setInputFile(m_job, m_queue, input));
    std::vector<std::string> debug;
    EXPECT_EQ(runWorker(&debug,
                        [](const std::string& path) {
                            return decoder::openPagesContained(path, test::crashingDecoderPath());
                        }),
              0);
    for (int p = 1; p <= 6; ++p)
        EXPECT_EQ(fs::exists(m_dir.file("fatal[" + std::to_string(p) + "].bmp")), p != 2) << p;
    EXPECT_NE(
        std::find(debug.begin(), debug.end(), "[ERROR] Page 2: the decoder was ended by signal 6"),
        debug.end());
}

struct UnchangedOutputCase {
    const char* input; // a sample file, or "mixed" for mixedPages()
    int frameLoading;
    std::vector<std::string> fingerprints; // of the output files, in name order
};

class UnchangedOutputs : public ConversionWorkerTest,
                         public ::testing::WithParamInterface<UnchangedOutputCase> {};

// The files written are the same, byte for byte, however the pages are decoded and handed
// over: by one decoder or two, through the page's own directory or by walking the chain,
// inline or in a memory file. The fingerprints were taken from the outputs of a build that
// decoded every page through FreeImage's multi-page reader in one decoder. Files without
// fingerprints fail and write nothing.
TEST_P(UnchangedOutputs, MultiPageFilesConvertToTheSameBytes) {
    const UnchangedOutputCase& c = GetParam();
    const std::string input =
        std::string(c.input) == "mixed" ? m_dir.file("mixed.tif") : test::corpusFile(c.input);
    if (std::string(c.input) == "mixed") {
        ASSERT_TRUE(test::writeTiff(input, mixedPages()));
    }
    TempDir out;
    m_job.outputFolder = out.folder();
    m_settings.tiffFrameLoading = c.frameLoading;
    ASSERT_TRUE(setInputFile(m_job, m_queue, input));
    std::vector<std::string> debug;
    runWorker(&debug);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> fingerprints;
    for (const std::string& name : names)
        fingerprints.push_back(name + " " + fingerprint(out.file(name)));
    std::string said;
    for (const std::string& line : debug)
        said += "\n" + line;
    EXPECT_EQ(fingerprints, c.fingerprints)
        << c.input << ", frame loading " << c.frameLoading << said;
}

const UnchangedOutputCase k_unchangedCases[] = {
    {"mixed",
     0,
     {"mixed[1].bmp 7a3841349869c891", "mixed[2].bmp a06f23aa4aba7c17",
      "mixed[3].bmp 1e2598697a19f9fd", "mixed[4].bmp bdb6ef5ca333dbe9",
      "mixed[5].bmp 5a19b7c17393d254", "mixed[6].bmp d6713cced4643d91",
      "mixed[7].bmp c2ea2cf4edddcd1e"}},
    {"mixed", 2, {"mixed.bmp bdb6ef5ca333dbe9"}},
    {"mixed", 3, {"mixed.bmp c2ea2cf4edddcd1e"}},
    {"BigTIFFMotorola.tif", 0, {"BigTIFFMotorola.bmp 3f4e44cf71b3ec45"}},
    {"USGS_13_n38w077_dir5.tiff", 0, {"USGS_13_n38w077_dir5.bmp 100f6e95e516852c"}},
    {"alpha-assoc-strip.tif", 0, {"alpha-assoc-strip.bmp fb8d0a11d8c086f1"}},
    {"alpha-unassoc-tile.tif", 0, {"alpha-unassoc-tile.bmp fb8d0a11d8c086f1"}},
    {"bomb-g4-100k.tif", 0, {}},
    {"bomb-lzw-30k.tif", 0, {}},
    {"bomb-none-100k.tif", 0, {}},
    {"cmyk-3c-32b-float.tiff", 0, {"cmyk-3c-32b-float.bmp 39b288326b02b75c"}},
    {"cmyk-lzw-irfanview.tiff", 0, {"cmyk-lzw-irfanview.bmp 8478aff85314aa63"}},
    {"fax2d.tif", 0, {"fax2d.bmp 7e33d6039e495fe2"}},
    {"fuzz-ascii-tag-overread.tif", 0, {}},
    {"g4-multi.tiff",
     0,
     {"g4-multi[1].bmp 935b1a9ed012f592", "g4-multi[2].bmp 00a2931bed718e36",
      "g4-multi[3].bmp 7f95cf8361cc33e3"}},
    // Turned a quarter clockwise, as its Orientation tag says.
    {"g4_orientation_6.tif", 0, {"g4_orientation_6.bmp a29b468e145ac34a"}},
    {"hopper2.tif", 0, {"hopper2.bmp 97c6f0d1e8a7dbf2"}},
    {"hopper4I.tif", 0, {"hopper4I.bmp 2e76a78987446555"}},
    {"hopper_webp.tif", 0, {"hopper_webp.bmp 292d11969bd42314"}},
    {"lzw-predictor2-irfanview.tif", 0, {"lzw-predictor2-irfanview.bmp 95935f9726464148"}},
    {"minisblack-1c-16b.tiff", 0, {"minisblack-1c-16b.bmp 452a244f48450997"}},
    {"minisblack-2c-8b-alpha.tiff", 0, {"minisblack-2c-8b-alpha.bmp 3f3d3ef2e38a3543"}},
    {"miniswhite-1c-1b.tiff", 0, {"miniswhite-1c-1b.bmp 465514fd9c04c1c1"}},
    {"multipage.tiff",
     0,
     {"multipage[1].bmp 4a16e870b15cbc90", "multipage[2].bmp 826a071ee1e37017",
      "multipage[3].bmp 5c3c3404ed460fd7"}},
    {"ojpeg_chewey_subsamp21_multi_strip.tiff",
     0,
     {"ojpeg_chewey_subsamp21_multi_strip.bmp c2bc9fef8ecb76fd"}},
    {"oxford.tif", 0, {"oxford.bmp 7f13042a1d490127"}},
    {"palette-1c-4b.tiff", 0, {"palette-1c-4b.bmp cad42f2509fc6955"}},
    {"predictor-3-rgb-f32.tif", 0, {"predictor-3-rgb-f32.bmp 335de3cba6010720"}},
    {"quad-jpeg.tif", 0, {"quad-jpeg.bmp 1ef39ff767d91321"}},
    {"random-fp16.tiff", 0, {"random-fp16.bmp 3e62d930ecf8a0db"}},
    // 16-bit samples mapped by value, rounded.
    {"rgb-3c-16b.tiff", 0, {"rgb-3c-16b.bmp b4912be5584af8a0"}},
    {"rgba-f32-128bit.tif", 0, {"rgba-f32-128bit.bmp 47908527a0d7957a"}},
    {"shapes_lzw_bigendian_iptc.tif", 0, {"shapes_lzw_bigendian_iptc.bmp b9873fbba8953f33"}},
    {"shapes_multi_color.tif",
     0,
     {"shapes_multi_color[1].bmp b9873fbba8953f33", "shapes_multi_color[2].bmp a9d4f1cfb8df8e37",
      "shapes_multi_color[3].bmp b9873fbba8953f33", "shapes_multi_color[4].bmp b9873fbba8953f33",
      "shapes_multi_color[5].bmp b9873fbba8953f33"}},
    {"smallliz.tif", 0, {"smallliz.bmp 42d34ed87dce86e7"}},
    {"spring.tif", 0, {"spring.bmp 586d96aabbabc7cd"}},
    {"test_ifd_loop_to_first.tif",
     0,
     {"test_ifd_loop_to_first[1].bmp 65a4ba0320ecea9a",
      "test_ifd_loop_to_first[2].bmp 65a4ba0320ecea9a"}},
    {"testfax4-truncated.tiff", 0, {}},
    {"testfax4.tiff", 0, {"testfax4.bmp fa7024ec1644ff53"}},
    {"tiff_tiled_cmyk_jpeg.tif", 0, {"tiff_tiled_cmyk_jpeg.bmp 5131bd64a71303b0"}},
    {"tiff_tiled_planar_lzw.tiff", 0, {"tiff_tiled_planar_lzw.bmp ab2154ca2687553e"}},
    {"uint16_1_4660.tif", 0, {"uint16_1_4660.bmp 86e643f2547f2f4d"}},
    {"ycbcr-cat.tif", 0, {"ycbcr-cat.bmp 6b356d00f1e07b60"}},
    {"zackthecat.tif", 0, {"zackthecat.bmp 269899f9cad45be8"}},
};

// Rows named after the input, with the frame loading where it is not the default.
INSTANTIATE_TEST_SUITE_P(ConversionWorkerTest, UnchangedOutputs,
                         ::testing::ValuesIn(k_unchangedCases), [](const auto& info) {
                             const UnchangedOutputCase& c = info.param;
                             std::string name = c.input;
                             if (c.frameLoading != 0)
                                 name += "_frame_loading_" + std::to_string(c.frameLoading);
                             return test::caseName(name);
                         });

// The decoders write pages into files made ahead in the folder the first page's name points
// to; pages whose names lead elsewhere get their files copied there, and nothing is left behind.
TEST_F(ConversionWorkerTest, PagesNamedIntoOtherFoldersThanForeseenArriveWhole) {
    const std::string input = writePages("scan.tif", 3);
    ASSERT_TRUE(setInputFile(m_job, m_queue, input));
    m_settings.filenameMask = "%frame%/%filename%.%ext%";
    std::vector<std::string> files[2];
    for (int here = 0; here < 2; ++here) {
        TempDir out;
        for (const char* folder : {"0", "1", "2", "3"})
            fs::create_directory(out.path() / folder);
        m_job.outputFolder = out.folder();
        m_job.frameNumber = 0;
        EXPECT_EQ(runWorker(nullptr, here ? PageSourceFactory(decoder::openPagesInProcess)
                                          : PageSourceFactory{}),
                  1);
        EXPECT_TRUE(fs::is_empty(out.path() / "0"));
        for (const char* folder : {"1", "2", "3"})
            files[here].push_back(test::readFile(out.file(std::string(folder) + "/scan.bmp")));
    }
    EXPECT_TRUE(files[0] == files[1]);
    EXPECT_FALSE(files[0][2].empty());
}

// A decoder whose write fails halfway (a file-size limit stands in for a full disk) fails its
// page; the previous file stays and no partial one appears.
TEST_F(ConversionWorkerTest, PageTheDecoderCannotWriteFailsAndKeepsThePreviousFile) {
    std::vector<test::TiffPage> pages{test::rgbPage(600, 400, test::patternColour)};
    const std::string input = m_dir.file("big.tif");
    ASSERT_TRUE(test::writeTiff(input, pages));
    ASSERT_TRUE(setInputFile(m_job, m_queue, input));
    TempDir out;
    m_job.outputFolder = out.folder();
    test::writeFile(out.file("big.bmp"), "previous");
    std::vector<std::string> debug;
    int converted = 0;
    {
        const test::FileSizeLimit limit(100'000);
        converted = runWorker(&debug);
    }
    EXPECT_EQ(converted, 0);
    const std::string reason = std::string(": ") + std::strerror(EFBIG);
    EXPECT_NE(std::find_if(debug.begin(), debug.end(),
                           [&](const std::string& line) {
                               return line.starts_with("[ERROR] Page 1: ") &&
                                      line.ends_with(reason);
                           }),
              debug.end());
    EXPECT_EQ(test::readFile(out.file("big.bmp")), "previous");
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()), 1);
}

TEST_F(ConversionWorkerTest, FileWrittenByTheDecoderReplacesAnOldOneKeepingItsPermissions) {
    const std::string input = writePages("scan.tif", 1);
    ASSERT_TRUE(setInputFile(m_job, m_queue, input));
    const std::string output = m_dir.file("scan.bmp");
    test::writeFile(output, "previous");
    chmod(output.c_str(), 0640);
    EXPECT_EQ(runWorker(), 1);
    struct stat facts {};
    ASSERT_EQ(stat(output.c_str(), &facts), 0);
    EXPECT_EQ(facts.st_mode & 0777, 0640u);
    EXPECT_EQ(test::readFile(output).substr(0, 2), "BM");
}

// Pages the chain leaves alone are saved by the decoder, which hands over finished files; the
// files are those the program writes when it saves the pages itself, at every depth and flag.
TEST_F(ConversionWorkerTest, FilesSavedByTheDecoderAreThoseSavedHere) {
    const std::string input = m_dir.file("mixed.tif");
    ASSERT_TRUE(test::writeTiff(input, mixedPages()));
    ASSERT_TRUE(setInputFile(m_job, m_queue, input));
    struct Recipe {
        int depth, compression, table;
    };
    for (const Recipe recipe : {Recipe{0, 0, 0},
                                {0, 1, 0},
                                {8, 0, 1},
                                {8, 1, 1},
                                {1, 0, 0},
                                {4, 0, 0},
                                {16, 0, 0},
                                {32, 0, 0}}) {
        m_settings.bmpBpp = recipe.depth;
        m_settings.bmpCompression = recipe.compression;
        m_settings.bmpColorTable = recipe.table;
        m_job.targetDepth = recipe.depth;
        m_job.autoDepth = recipe.depth == 0;
        m_job.saveFlags = imaging::computeSaveFlags("bmp", m_settings);
        std::vector<std::string> files[2];
        for (int here = 0; here < 2; ++here) {
            TempDir out;
            m_job.outputFolder = out.folder();
            runWorker(nullptr,
                      here ? PageSourceFactory(decoder::openPagesInProcess) : PageSourceFactory{});
            for (int p = 1; p <= 7; ++p)
                files[here].push_back(
                    test::readFile(out.file("mixed[" + std::to_string(p) + "].bmp")));
        }
        EXPECT_TRUE(files[0] == files[1]) << "depth " << recipe.depth << ", compression "
                                          << recipe.compression << ", table " << recipe.table;
        EXPECT_FALSE(files[0][0].empty());
    }
}

} // namespace
} // namespace kx::engine
