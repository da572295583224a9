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

} // namespace
} // namespace kx::ui
