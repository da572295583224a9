#include "ui/recent_folders.h"

#include <gtest/gtest.h>

namespace kx::ui {
namespace {

settings::Settings withRecent(const std::string& list, int number = 3) {
    settings::Settings s;
    s.recentOutFolders = list;
    s.outFoldersNumber = static_cast<int8_t>(number);
    return s;
}

TEST(RecentFolders, AddingPutsTheFolderFirstAndKeepsTheLimit) {
    struct Case {
        const char* before;
        const char* added;
        const char* after;
    };
    const Case cases[] = {
        {"", "/a/", "/a/"},
        {"/a/\t/b/", "/c/", "/c/\t/a/\t/b/"},
        {"/a/\t/b/\t/c/", "/d/", "/d/\t/a/\t/b/"}, // the oldest drops out
        {"/a/\t/b/\t/c/", "/b/", "/b/\t/a/\t/c/"}, // moves to the top
        {"/Pics/\t/b/", "/PICS/", "/PICS/\t/b/"},  // letter case only: the same folder
        {"/Bilder/Äpfel/\t/b/", "/BILDER/ÄPFEL/", "/BILDER/ÄPFEL/\t/b/"},
        {" /a/ \t\t/b/", "/c/", "/c/\t/a/\t/b/"},     // fields are trimmed, empty ones go
        {"/a/data/\t/b/", "/a/data", "/a/data\t/b/"}, // a trailing slash: the same folder
        {"/a/data\t/b/", "/a/data//", "/a/data//\t/b/"},
        {"/\t/b/", "/a/", "/a/\t/\t/b/"}, // the root stays a folder of its own
    };
    for (const Case& c : cases) {
        settings::Settings s = withRecent(c.before);
        EXPECT_TRUE(addRecentFolder(s, c.added)) << c.added;
        EXPECT_EQ(s.recentOutFolders, c.after) << c.before << " + " << c.added;
    }
}

TEST(RecentFolders, AnEmptyFolderChangesNothing) {
    settings::Settings s = withRecent("/a/");
    EXPECT_FALSE(addRecentFolder(s, ""));
    EXPECT_EQ(s.recentOutFolders, "/a/");
}

TEST(RecentFolders, EntriesAreTheFirstFieldsTrimmedWithoutEmptyOnes) {
    EXPECT_EQ(recentFolderEntries(withRecent(" /a/\t\t/b \t/c/\t/d/", 3)),
              (std::vector<std::string>{"/a/", "/b/"}))
        << "every entry ends with a separator, as the output folder always does";
    EXPECT_TRUE(recentFolderEntries(withRecent("/a/", 0)).empty());
}

} // namespace
} // namespace kx::ui
