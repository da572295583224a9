#include "engine/naming.h"

#include <gtest/gtest.h>

namespace kx::engine {
namespace {

JobState jobFor(const std::string& inputPath) {
    JobState job;
    job.inputPath = inputPath;
    job.outputFolder = "/out/";
    job.outputFormatKey = "bmp";
    job.targetDepth = 8;
    job.pageWidth = 640;
    job.pageHeight = 480;
    job.frameNumber = 2;
    job.randomNumber = 123456;
    job.sequenceNumber = 7;
    return job;
}

std::string expand(const std::string& mask, const JobState& job) {
    settings::Settings s;
    s.filenameMask = mask;
    return expandFilenameMask(s, job);
}

TEST(FilenameMask, ExpandsNamesAsUsersWriteThem) {
    EXPECT_EQ(expand("", jobFor("/in/photo.tif")), "photo.bmp");
    EXPECT_EQ(expand("%FILENAME[U]%.%EXT%", jobFor("/in/photo.tif")), "PHOTO.bmp");
    EXPECT_EQ(expand("%Filename[T]%_%N%.%EXT[U]%", jobFor("/in/my SCAN.tif")), "My scan_00007.BMP");
    EXPECT_EQ(expand("Photo_%n%", jobFor("/in/x.tif")), "photo_00007");
    EXPECT_EQ(expand("%filename%", jobFor("/in/a.b.tif")), "a.b");
    EXPECT_EQ(expand("%filename%", jobFor("noext")), "noext");
    // Text a token produced is searched by the later tokens, in any letter case.
    EXPECT_EQ(expand("%filename%.x", jobFor("/in/%EXT%.tif")), "bmp.x");
}

TEST(FilenameMask, EveryTokenOnce) {
    const std::string mask = "%filename%|%filename[u]%|%filename[l]%|%filename[t]%|%ext%|"
                             "%ext[u]%|%ext[t]%|%bpp%|%width%|%height%|%frame%|%rnd%|%n%";
    EXPECT_EQ(expand(mask, jobFor("/in/mY Scan.tif")),
              "mY Scan|MY SCAN|my scan|My scan|bmp|BMP|Bmp|8|640|480|2|12345|00007");
    EXPECT_EQ(maskTokens().size(), 19u);

    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 5;
    when.tm_hour = 7;
    when.tm_min = 8;
    when.tm_sec = 9;
    std::string text = "%YYYY%-%mm%-%dd% %hh%:%ii%:%ss%";
    for (std::string_view token : maskTokens())
        text = replaceMaskToken(text, token, jobFor("/in/a.tif"), when);
    EXPECT_EQ(text, "2024-03-05 07:08:09");
}

TEST(FilenameMask, NumbersArePaddedOrCutToFiveCharacters) {
    JobState job = jobFor("/in/a.tif");
    job.randomNumber = 42;
    EXPECT_EQ(replaceMaskToken("%RND%-%n%", "%rnd%", job), "00042-%n%");
    job.sequenceNumber = 1234567;
    EXPECT_EQ(replaceMaskToken("%n%", "%n%", job), "12345");
}

TEST(FilenameMask, ReplaceKeepsOtherTextAndIgnoresUnknownTokens) {
    const JobState job = jobFor("/in/a.tif");
    EXPECT_EQ(replaceMaskToken("Page %FRAME% of %Frame%", "%frame%", job), "Page 2 of 2");
    EXPECT_EQ(replaceMaskToken("Keep %x%", "%x%", job), "Keep %x%");
    EXPECT_EQ(replaceMaskToken("Keep", "", job), "Keep");
}

TEST(FilenameMask, NonAsciiNamesChangeCaseWithoutDamage) {
    EXPECT_EQ(expand("%filename[u]%", jobFor("/in/été Ünd.tif")), "ÉTÉ ÜND");
    EXPECT_EQ(expand("%filename[t]%", jobFor("/in/éTÉ.tif")), "Été");
    EXPECT_EQ(expand("%filename%", jobFor("/in/ÉTÉ.tif")), "ÉTÉ");
    EXPECT_EQ(expand("ÉCOLE_%n%", jobFor("/in/a.tif")), "école_00007");
    // Not UTF-8: only the ASCII letters change.
    EXPECT_EQ(expand("%filename[u]%", jobFor("/in/\xff\xe9z.tif")), "\xff\xe9Z");
    EXPECT_EQ(expand("%filename[u]%", jobFor("/in/straße ωмега.tif")), "STRASSE ΩМЕГА");
    EXPECT_EQ(expand("%filename[l]%", jobFor("/in/ΣΟΦΊΑ Юг.tif")), "σοφία юг");
    // An overlong form is not UTF-8: its bytes stay as they are.
    EXPECT_EQ(expand("%filename[u]%", jobFor("/in/\xc0\xafz.tif")), "\xc0\xafZ");
}

TEST(OutputPath, KeepsTheSubfolderOnlyWhenAsked) {
    JobState job = jobFor("/in/x/y/p.tif");
    job.subfolder = subfolderOf(job.inputPath, "/in/");
    settings::Settings s;
    s.keepSubfolders = 1;
    EXPECT_EQ(outputPathForPage(s, job), "/out/x/y/p.bmp");
    s.keepSubfolders = 0;
    EXPECT_EQ(outputPathForPage(s, job), "/out/p.bmp");
}

TEST(PageSuffix, OnlyForAllPagesOfAMultiPageFileWithoutFrameToken) {
    settings::Settings s;
    s.filenameMask = "%filename%.%ext%";
    EXPECT_TRUE(needsPageSuffix(s, 2));
    EXPECT_FALSE(needsPageSuffix(s, 1));
    s.tiffFrameLoading = 1;
    EXPECT_FALSE(needsPageSuffix(s, 3));
    s.tiffFrameLoading = 0;
    s.filenameMask = "";
    EXPECT_TRUE(needsPageSuffix(s, 3));
    s.filenameMask = "%filename%_%FRAME%.%ext%";
    EXPECT_FALSE(needsPageSuffix(s, 3));
    JobState job = jobFor("/in/scan.tif");
    job.frameNumber = 3;
    EXPECT_EQ(outputPathForPage(s, job), "/out/scan_3.bmp");
}

TEST(PageSuffix, GoesBeforeTheExtensionAndStaysInTheName) {
    EXPECT_EQ(withPageSuffix("/out/scan.bmp", 2, "bmp"), "/out/scan[2].bmp");
    EXPECT_EQ(withPageSuffix("/out/scan.tiff", 12, "tiff"), "/out/scan[12].tiff");
    EXPECT_EQ(withPageSuffix("/out/写真写真写真", 1, "bmp"), "/out/写真[1]写真写真");
    EXPECT_EQ(withPageSuffix("/out/ab", 3, "bmp"), "/out/[3]ab");
    EXPECT_EQ(withPageSuffix("ab", 3, "bmp"), "[3]ab");
    EXPECT_EQ(withPageSuffix("", 1, "bmp"), "[1]");
}

} // namespace
} // namespace kx::engine
