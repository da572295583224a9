#include "tests/support/temp_dir.h"
#include "tests/support/zip_writer.h"
#include "ui/theme_archive.h"

#include <gtest/gtest.h>

namespace kx::ui {
namespace {

using test::makeZip;
using test::ZipEntry;

TEST(ThemeArchiveTest, ListsEntriesWithTheirSizesLeavingOutEmptyOnes) {
    ThemeArchive archive;
    ASSERT_TRUE(archive.openBytes(makeZip({{"theme.cfg", "[Theme]\r\n"},
                                           {"empty.png", ""},
                                           {"a.png", std::string(300, 'a'), false}})));
    ASSERT_EQ(archive.entries().size(), 2u);
    EXPECT_EQ(archive.entries().at("theme.cfg"), 9);
    EXPECT_EQ(archive.entries().at("a.png"), 300);
    EXPECT_FALSE(archive.hasEntry("empty.png"));
}

TEST(ThemeArchiveTest, UnpacksStoredAndDeflatedEntries) {
    ThemeArchive archive;
    const std::string text(5000, 'x');
    ASSERT_TRUE(archive.openBytes(makeZip({{"stored", text, false}, {"deflated", text, true}})));
    EXPECT_EQ(archive.readEntry("stored"), text);
    EXPECT_EQ(archive.readEntry("deflated"), text);
    EXPECT_EQ(archive.readEntry("missing"), std::nullopt);
}

TEST(ThemeArchiveTest, CutReadStopsAtTheLimit) {
    ThemeArchive archive;
    ASSERT_TRUE(archive.openBytes(makeZip({{"theme.cfg", std::string(1000, 'c')}})));
    EXPECT_EQ(archive.readEntryPrefix("theme.cfg", 255), std::string(255, 'c'));
    EXPECT_EQ(archive.readEntryPrefix("theme.cfg", 5000), std::string(1000, 'c'));
}

TEST(ThemeArchiveTest, EntryUnpackingToMoreThanItStatesIsRefused) {
    ThemeArchive archive;
    ZipEntry bomb{"bomb.png", std::string(4u << 20, '\0'), true, 100};
    ASSERT_TRUE(archive.openBytes(makeZip({bomb, {"good.png", "fine"}})));
    EXPECT_EQ(archive.entries().at("bomb.png"), 100);
    EXPECT_EQ(archive.readEntry("bomb.png"), std::nullopt);
    EXPECT_EQ(archive.readEntry("good.png"), "fine");
}

TEST(ThemeArchiveTest, EntryStatingMoreThanTheLimitIsRefusedBeforeUnpacking) {
    ThemeArchive archive;
    const std::string huge(ThemeArchive::k_maxEntryBytes + 1, '\0');
    ASSERT_TRUE(archive.openBytes(makeZip({{"huge.png", huge}})));
    EXPECT_EQ(archive.readEntry("huge.png"), std::nullopt);
    EXPECT_EQ(archive.readEntryPrefix("huge.png", 10), std::string(10, '\0'));
}

TEST(ThemeArchiveTest, EntryShorterThanItStatesIsRefused) {
    ThemeArchive archive;
    ASSERT_TRUE(archive.openBytes(makeZip({{"short.png", "abc", false, 10}})));
    EXPECT_EQ(archive.readEntry("short.png"), std::nullopt);
}

TEST(ThemeArchiveTest, MissingEmptyAndForeignFilesDoNotOpen) {
    test::TempDir dir;
    test::writeFile(dir.file("empty.zip"), "");
    test::writeFile(dir.file("text.zip"), "this is no zip archive at all");
    test::writeFile(dir.file("good.zip"), makeZip({{"theme.cfg", "x"}}));
    ThemeArchive archive;
    EXPECT_FALSE(archive.openFile(dir.file("missing.zip")));
    EXPECT_FALSE(archive.openFile(dir.file("empty.zip")));
    EXPECT_FALSE(archive.openFile(dir.file("text.zip")));
    EXPECT_TRUE(archive.entries().empty());
    EXPECT_TRUE(archive.openFile(dir.file("good.zip")));
    EXPECT_EQ(archive.readEntry("theme.cfg"), "x");
}

} // namespace
} // namespace kx::ui
