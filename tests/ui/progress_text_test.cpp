#include "ui/progress_text.h"

#include <gtest/gtest.h>

namespace kx::ui {
namespace {

TEST(FormatDuration, HoursMinutesSecondsAndDays) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "00:00:00"},
        {999, "00:00:00"},
        {1000, "00:00:01"},
        {59'999, "00:00:59"},
        {3'600'000, "01:00:00"},
        {86'399'000, "23:59:59"},
        {90'000'000, "1d:01:00:00"},
        {93'784'000, "1d:02:03:04"},
        {-5, "00:00:00"},
    };
    for (const auto& [ms, text] : cases)
        EXPECT_EQ(formatDuration(ms), text) << ms;
}

TEST(ShortenMiddle, KeepsBothEndsOfLongTextsInCharacters) {
    EXPECT_EQ(shortenMiddle("/short/name.tif", 40), "/short/name.tif");
    EXPECT_EQ(shortenMiddle("abcdefghijklmnop", 10), "abc...nop");
    // Characters, not bytes: a multi-byte name is cut between characters.
    EXPECT_EQ(shortenMiddle("ääääääääää", 9), "äää...äää");
}

TEST(FailureLine, NamesTheFileOnceAsASentence) {
    EXPECT_EQ(failureLine("/in/a.tif", "cannot open /in/a.tif: No such file or directory"),
              "Cannot open /in/a.tif: No such file or directory");
    EXPECT_EQ(failureLine("/in/b.tif", "page 2 cannot be decoded"),
              "/in/b.tif: page 2 cannot be decoded");
}

TEST(RunPosition, StepsAndTitleFollowPagesWithinJobs) {
    const struct {
        const char* name;
        RunPosition at;
        int steps;
        std::pair<int32_t, int32_t> title;
    } cases[] = {
        {"before the first job", {0, 1, 0, 0}, 0, {0, 1}},
        {"one job, file not open yet", {1, 1, 0, 0}, 0, {1, 1}},
        {"one page file", {1, 1, 1, 1}, 0, {1, 1}},
        {"page 51 of 200", {1, 1, 51, 200}, 250, {51, 200}},
        {"last page of 200", {1, 1, 200, 200}, 995, {200, 200}},
        {"second of four jobs, its page 2 of 4", {2, 4, 2, 4}, 312, {2, 4}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(stepsDone(c.at), c.steps) << c.name;
        EXPECT_EQ(titleCount(c.at), c.title) << c.name;
    }
}

TEST(RemainingMs, GoesOnAtThePaceSoFar) {
    EXPECT_EQ(remainingMs(0, 5000), -1);
    EXPECT_EQ(remainingMs(250, 10'000), 30'000);
    EXPECT_EQ(remainingMs(k_runSteps, 10'000), 0);
}

} // namespace
} // namespace kx::ui
