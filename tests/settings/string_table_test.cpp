#include "settings/string_table.h"
#include "tests/support/case_names.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kx::settings {
namespace {

const std::string k_marker(k_noStringError);

class StringTableTest : public ::testing::Test {
protected:
    void SetUp() override { loadStringTable(); }
};

TEST_F(StringTableTest, GroupsAndKeysIgnoreCase) {
    EXPECT_EQ(lookupText("msg", "error"), "Error");
    EXPECT_EQ(lookupText("MSG", "Error"), "Error");
    EXPECT_EQ(lookupText("Msg", "ERROR"), "Error");
    EXPECT_EQ(lookupText("custom-converter", "SEARCH"), "Search");
}

TEST_F(StringTableTest, MissingGroupOrKeyGivesMarker) {
    EXPECT_EQ(lookupText("General", "Error"), k_marker); // a Msg key in another group
    EXPECT_EQ(lookupText("Messages", "Error"), k_marker);
    EXPECT_EQ(lookupText("", "Error"), k_marker);
    EXPECT_EQ(lookupText("Msg", ""), k_marker);
    EXPECT_EQ(lookupText("Msg", "Zebra"), k_marker);    // no Msg key starts with Z
    EXPECT_EQ(lookupText("Msg", "Errors"), k_marker);   // sorts between two keys
    EXPECT_EQ(lookupText("Msg", "Warnings"), k_marker); // sorts after the group's last key
    EXPECT_EQ(lookupText("Msg", "Error "), k_marker);   // no trimming
    EXPECT_EQ(lookupText("Msg", "\xC3\x89rror"), k_marker);
    EXPECT_EQ(lookupText("Msg", "Error"), "Error"); // the failures left the cache sound
}

TEST_F(StringTableTest, AlternatingGroupsEachFindTheirOwnText) {
    EXPECT_EQ(lookupText("About", "Title"), "About...");
    EXPECT_EQ(lookupText("Uninstall", "Title"), "Uninstall");
    EXPECT_EQ(lookupText("About", "Title"), "About...");
    EXPECT_EQ(lookupText("Custom-Converter", "Title"), "Find a File Converter");
    EXPECT_EQ(lookupText("Preferences", "Title"), "Preferences...");
    EXPECT_EQ(lookupText("Menu", "Convert"), "Convert");
    EXPECT_EQ(lookupText("Menu", "Preferences"), "Preferences...");
    EXPECT_EQ(lookupText("Nowhere", "Title"), k_marker);
    EXPECT_EQ(lookupText("About", "Title"), "About...");
}

TEST_F(StringTableTest, GroupsInDataOrder) {
    const std::vector<std::string> expected{
        "MENU",  "GENERAL",          "MSG",      "DIALOG", "PREFERENCES",
        "ABOUT", "CUSTOM-CONVERTER", "UNINSTALL"};
    EXPECT_EQ(stringTableGroups(), expected);
}

TEST_F(StringTableTest, EntryCountsPerGroup) {
    EXPECT_EQ(stringTableKeys("Menu").size(), 27u);
    EXPECT_EQ(stringTableKeys("General").size(), 11u);
    EXPECT_EQ(stringTableKeys("Msg").size(), 47u);
    EXPECT_EQ(stringTableKeys("Dialog").size(), 18u);
    EXPECT_EQ(stringTableKeys("Preferences").size(), 223u);
    EXPECT_EQ(stringTableKeys("About").size(), 4u);
    EXPECT_EQ(stringTableKeys("Custom-Converter").size(), 4u);
    EXPECT_EQ(stringTableKeys("Uninstall").size(), 3u);
    EXPECT_TRUE(stringTableKeys("Nowhere").empty());
}

TEST_F(StringTableTest, EveryKeyIsSortedAndFound) {
    for (const std::string& group : stringTableGroups()) {
        const std::vector<std::string> keys = stringTableKeys(group);
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << group;
        for (const std::string& key : keys) {
            EXPECT_NE(lookupText(group, key), k_marker) << group << "/" << key;
        }
    }
}

TEST_F(StringTableTest, KeysSharingAFirstLetterAreAllFound) {
    const char* const imageKeys[][2] = {
        {"Image", "Image:"},
        {"Image Brightness", "Image Brightness:"},
        {"Image Contrast", "Image Contrast:"},
        {"Image Dither", "Image Dither:"},
        {"Image Flip Horizontal", "Flip Horizontal:"},
        {"Image Flip Vertical", "Flip Vertical:"},
        {"Image Gamma", "Gamma Correction:"},
        {"Image Greyscale", "Greyscale Image:"},
        {"Image Height", "Image Height:"},
        {"Image Invert", "Invert Image:"},
        {"Image Quality", "Image Quality:"},
        {"Image Resize", "Image Resize:"},
        {"Image Rotation", "Image Rotation:"},
        {"Image Threshold", "Image Threshold:"},
        {"Image Width", "Image Width:"},
        {"Interface", "Interface"},
        {"Interlaced", "Interlaced:"},
        {"Italic", "Italic"},
    };
    for (const auto& [key, text] : imageKeys) {
        EXPECT_EQ(lookupText("Preferences", key), text) << key;
    }
    // The last key of each group, by sorted order.
    EXPECT_EQ(lookupText("Preferences", "ZLIB9"), "ZLib Level 9");
    EXPECT_EQ(lookupText("Msg", "Warning"), "Warning");
    EXPECT_EQ(lookupText("Menu", "Visit Homepage"), "Visit the Program's Homepage");
    EXPECT_EQ(lookupText("Uninstall", "Uninstall Text"), "Full Uninstall - Visit Uninstall Center");
}

TEST_F(StringTableTest, DuplicatedMediumIsKeptAndFound) {
    const std::vector<std::string> keys = stringTableKeys("Preferences");
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "MEDIUM"), 2);
    EXPECT_EQ(lookupText("Preferences", "Medium"), "Medium");
    EXPECT_EQ(lookupText("Preferences", "Middle Frame"), "Middle");
}

TEST_F(StringTableTest, TextsKeepCrLf) {
    EXPECT_EQ(lookupText("Msg", "Invalid output folder"),
              "The following output folder is invalid or doesn't exist:\r\n%s1%\r\n\r\n"
              "Please, correct the output path and try again!");
    EXPECT_EQ(lookupText("Msg", "Ask continue to find"),
              "No matches of %s1% found!\r\n\r\nDo you want to search from the start of the list?");
}

TEST_F(StringTableTest, TranslationReplacesOnlyPresentKeys) {
    test::TempDir dir;
    const std::string path = dir.file("de.lng");
    test::writeFile(path, "\xEF\xBB\xBF\r\n[msg]\r\nERROR = Fehler\r\nwarning=Warnung\r\n"
                          "Not A Key = ignored\r\n[Menu]\r\nFile = Datei\r\n"
                          "[Preferences]\r\nMedium = Mittel\r\n[Nowhere]\r\nTitle = x\r\n");
    loadStringTable(path);
    EXPECT_EQ(lookupText("Msg", "Error"), "Fehler");
    EXPECT_EQ(lookupText("Msg", "Warning"), "Warnung");
    EXPECT_EQ(lookupText("Menu", "File"), "Datei");
    EXPECT_EQ(lookupText("Preferences", "Medium"), "Mittel");
    EXPECT_EQ(lookupText("Msg", "Import is not complete"), "Import stopped");
    EXPECT_EQ(lookupText("Menu", "Edit"), "Edit");
    EXPECT_EQ(lookupText("General", "File"), k_marker);
    EXPECT_EQ(lookupText("Msg", "Not A Key"), k_marker);
    EXPECT_EQ(lookupText("Nowhere", "Title"), k_marker);
    EXPECT_EQ(stringTableKeys("Msg").size(), 47u);

    loadStringTable();
    EXPECT_EQ(lookupText("Msg", "Error"), "Error");
    EXPECT_EQ(lookupText("Preferences", "Medium"), "Medium");
}

TEST_F(StringTableTest, MissingTranslationFileIsIgnored) {
    test::TempDir dir;
    loadStringTable(dir.file("absent.lng"));
    EXPECT_EQ(lookupText("Msg", "Error"), "Error");
    loadStringTable(dir.folder());
    EXPECT_EQ(lookupText("Dialog", "Cancel"), "Cancel");
}

TEST_F(StringTableTest, LoadingTwiceGivesTheSameTable) {
    std::vector<std::string> first;
    for (const std::string& group : stringTableGroups()) {
        for (const std::string& key : stringTableKeys(group)) {
            first.push_back(group + "/" + key + "=" + lookupText(group, key));
        }
    }
    loadStringTable();
    std::vector<std::string> second;
    for (const std::string& group : stringTableGroups()) {
        for (const std::string& key : stringTableKeys(group)) {
            second.push_back(group + "/" + key + "=" + lookupText(group, key));
        }
    }
    EXPECT_EQ(first.size(), 337u);
    EXPECT_EQ(first, second);
}

struct ExactText {
    const char* group;
    const char* key;
    const char* text;
};

class StringTableTextTest : public ::testing::TestWithParam<ExactText> {
protected:
    static void SetUpTestSuite() { loadStringTable(); }
};

TEST_P(StringTableTextTest, BuiltInTextIsExact) {
    EXPECT_EQ(lookupText(GetParam().group, GetParam().key), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    EachGroup, StringTableTextTest,
    ::testing::Values(
        ExactText{"Menu", "Select Input File", "Add Input File..."},
        ExactText{"Menu", "Delete Input Files", "Delete Files From the List"},
        ExactText{"Menu", "Custom Converter", "Find a File Converter..."},
        ExactText{"Menu", "Manual", "User Manual..."},
        ExactText{"Menu", "Check For New Version", "Check For a New Version"},
        ExactText{"General", "Input File", "Input File:"},
        ExactText{"General", "Filename", "Filename"},
        ExactText{"General", "Preparing", "Preparing..."},
        ExactText{"Msg", "Insufficient memory", "Insufficient Memory"},
        ExactText{"Msg", "Unable to open file", "Unable to open the file: %s1%!"},
        ExactText{"Msg", "Progress", "(%s1%/%s2%)"},
        ExactText{"Msg", "Files converted", "Files converted: %s1% of %s2%"},
        ExactText{"Msg", "New Update Text",
                  "A new version of Kestrelix TIFF to BMP is available! Are you ready to "
                  "download it right now?"},
        ExactText{"Msg", "Ask break conversion", "Do you want to break the conversion?"},
        ExactText{"Dialog", "Import Input Files", "Import Input Files From A List"},
        ExactText{"Dialog", "Convert Progress", "Converting"},
        ExactText{"Dialog", "Time Remaining", "Time Remaining: %s1%"},
        ExactText{"Dialog", "Time Unknown", "Unknown"},
        ExactText{"Preferences", "Save window position", "Save Window's Coords:"},
        ExactText{"Preferences", "RGB48HS", "RGB 48-bit (HS)"},
        ExactText{"Preferences", "Bspline", "B-Spline"},
        ExactText{"Preferences", "FS", "Floyd and Steinberg error diffusion"},
        ExactText{"Preferences", "X-Offset", "X-Offset:"},
        ExactText{"Preferences", "Every 3 months", "Every 3 months"},
        ExactText{"Preferences", "Clean Recent Files", "Clean Recent Files List on Exit"},
        ExactText{"About", "Website", "Web:"}, ExactText{"About", "Email", "E-mail:"},
        ExactText{"Custom-Converter", "From", "From:"}, ExactText{"Uninstall", "Next", "Next"}),
    // Rows named after the group and the key.
    [](const auto& info) {
        return test::caseName(std::string(info.param.group) + "_" + info.param.key);
    });

} // namespace
} // namespace kx::settings