#include "base/paths.h"
#include "engine/job_state.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <set>

namespace kx::engine {
namespace {

TEST(JobStateTest, ResetStartsAFreshRun) {
    JobState job;
    JobQueue queue;
    job.outputFolder = "/somewhere/";
    job.sequenceNumber = 9;
    job.consoleMode = true;
    queue.add("/x.tif");
    resetJobState(job, queue);
    EXPECT_EQ(job.outputFolder, "");
    EXPECT_EQ(job.sequenceNumber, 1);
    EXPECT_FALSE(job.consoleMode);
    EXPECT_TRUE(queue.empty());
    EXPECT_GE(job.randomNumber, 1);
    EXPECT_LE(job.randomNumber, 99999);
    EXPECT_EQ(job.acceptedExtensions, "tiff,tif");
    EXPECT_TRUE(job.programFolder.ends_with("/"));
}

TEST(JobStateTest, RandomNumbersStayInRange) {
    std::set<int32_t> seen;
    for (int i = 0; i < 1000; ++i) {
        const int32_t n = drawRandomNumber();
        ASSERT_GE(n, 1);
        ASSERT_LE(n, 99999);
        seen.insert(n);
    }
    EXPECT_GT(seen.size(), 900u);
}

TEST(JobStateTest, SetInputFileAcceptsTiffExtensionsOnly) {
    test::TempDir dir;
    JobState job;
    JobQueue queue;
    resetJobState(job, queue);
    test::writeFile(dir.file("a.TIF"), "II*");
    test::writeFile(dir.file("b.png"), "data");
    test::writeFile(dir.file("empty.tif"), "");

    EXPECT_TRUE(setInputFile(job, queue, dir.file("a.TIF")));
    EXPECT_FALSE(setInputFile(job, queue, dir.file("b.png")));
    EXPECT_FALSE(setInputFile(job, queue, dir.file("empty.tif")));
    EXPECT_FALSE(setInputFile(job, queue, dir.file("noextension")));
    ASSERT_EQ(queue.size(), 1u) << "refused paths leave the queue alone";
    EXPECT_EQ(queue[0].path, dir.file("a.TIF"));

    // A path that does not exist passes the size test; loading refuses it later.
    EXPECT_TRUE(setInputFile(job, queue, dir.file("missing.tiff")));
    EXPECT_EQ(queue.size(), 1u) << "one job at a time";
    EXPECT_TRUE(setInputFile(job, queue, dir.file("missing.tiff")));
    EXPECT_EQ(queue.size(), 1u) << "a path is queued once";
}

TEST(JobStateTest, SubfolderBelowTheInputRoot) {
    EXPECT_EQ(subfolderOf("/in/x/y/p.tif", "/in/"), "x/y/");
    EXPECT_EQ(subfolderOf("/in/p.tif", "/in/"), "");
    EXPECT_EQ(subfolderOf("/other/p.tif", "/in/"), "");
    EXPECT_EQ(subfolderOf("/in/x/p.tif", ""), "");
    EXPECT_EQ(subfolderOf("", "/in/"), "");
}

TEST(JobStateTest, PathParts) {
    EXPECT_EQ(base::folderPart("/a/b/c.tif"), "/a/b/");
    EXPECT_EQ(base::folderPart("c.tif"), "");
    EXPECT_EQ(base::extensionOf("/a.b/c.tif"), "tif");
    EXPECT_EQ(base::extensionOf("/a.b/c"), "") << "a dot in a folder name is no extension";
    EXPECT_EQ(base::extensionOf("a.b.tiff"), "tiff");
    EXPECT_EQ(base::extensionOf("name."), "");
}

} // namespace
} // namespace kx::engine
