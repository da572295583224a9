#include "tests/engine/conversion_fixture.h"

#include "engine/format_registry.h"
#include "engine/saving.h"
#include "tests/support/image_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

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
        ConversionRun run{m_settings, m_job, m_queue, m_progress};
        return convertFile(run);
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
    ASSERT_FALSE(convert(test::corpusFile("shapes_multi_color.tif")));
    for (int p : {1, 2, 3, 5})
        EXPECT_TRUE(fs::exists(m_dir.file("shapes_multi_color[" + std::to_string(p) + "].bmp")));
    EXPECT_FALSE(fs::exists(m_dir.file("shapes_multi_color[4].bmp")));
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

TEST_F(ConversionWorkerTest, ClearingTheRunningFlagStopsAfterTheCurrentJob) {
    for (int i = 0; i < 5; ++i)
        m_queue[writePages("job" + std::to_string(i) + ".tif", 1)] = Job{};
    int opened = 0;
    const int converted = runWorker(nullptr, [&](const std::string& path) {
        if (++opened == 3) {
            std::lock_guard guard(m_progress.lock);
            m_progress.running = false;
        }
        return openPagesInProcess(path);
    });
    EXPECT_EQ(opened, 3);
    EXPECT_EQ(converted, 3);
}

TEST_F(ConversionWorkerTest, FailedJobReportsZeroDurationToTheNext) {
    m_queue[m_dir.file("missing.tif")] = Job{};
    m_queue[writePages("good.tif", 1)] = Job{};
    std::vector<int64_t> durations;
    runWorker(nullptr, [&](const std::string& path) {
        std::lock_guard guard(m_progress.lock);
        durations.push_back(m_progress.lastDuration);
        return openPagesInProcess(path);
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
    m_queue[m_dir.file("missing.tif")] = Job{};
    lines.clear();
    EXPECT_EQ(runWorker(&lines), 0);
    EXPECT_EQ(lines.back(), "[ERROR] Unable to convert the file!");
}

} // namespace
} // namespace kx::engine
