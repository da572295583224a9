#include "tests/support/case_names.h"
#include "ui/theme_config.h"

#include <gtest/gtest.h>

namespace kx::ui {
namespace {

constexpr std::string_view k_config = "[Theme]\r\n"
                                      "Name = Blue Sky \r\n"
                                      "\r\n"
                                      "[Buttons]\r\n"
                                      "Convert = go_button\r\n"
                                      "\r\n"
                                      "[icons]\r\n"
                                      "AddX=addx\r\n"
                                      "Add=add\r\n"
                                      "New\t= new\t_icon \r\n"
                                      "Help=help=ignored\r\n"
                                      "Web\r\n"
                                      "Exit=exit";

struct LookupCase {
    const char* name;
    std::string_view section;
    std::string_view key;
    std::string_view value;
};

class ThemeValueTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ThemeValueTest, ReadsTheValueTheWayThemesExpect) {
    EXPECT_EQ(readThemeValue(k_config, GetParam().section, GetParam().key), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, ThemeValueTest,
    ::testing::Values(LookupCase{"blanks_trimmed", "Theme", "Name", "Blue Sky"},
                      LookupCase{"case_ignored", "THEME", "name", "Blue Sky"},
                      LookupCase{"plain_value", "Buttons", "Convert", "go_button"},
                      LookupCase{"a_prefix_matches_first", "Icons", "Add", "addx"},
                      LookupCase{"longer_key", "Icons", "AddX", "addx"},
                      LookupCase{"tabs_removed", "Icons", "New", "new_icon"},
                      LookupCase{"up_to_the_next_equals_sign", "Icons", "Help", "help"},
                      LookupCase{"no_equals_sign", "Icons", "Web", ""},
                      LookupCase{"last_line_without_line_break", "Icons", "Exit", "exit"},
                      LookupCase{"key_of_another_section", "Icons", "Convert", ""},
                      LookupCase{"key_of_the_next_section", "Buttons", "Add", ""},
                      LookupCase{"missing_section", "Missing", "Name", ""},
                      LookupCase{"key_must_begin_a_line", "Theme", "ame", ""}),
    test::byName);

TEST(ThemeValueTest, KeyMustFollowALineBreak) {
    EXPECT_EQ(readThemeValue("[Icons]Add=add\r\n", "Icons", "Add"), "");
    EXPECT_EQ(readThemeValue("", "Icons", "Add"), "");
}

struct FileNameCase {
    const char* name;
    std::string_view picture;
    int pixels;
    std::string_view completed;
};

class PictureFileNameTest : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(PictureFileNameTest, CompletesNamesWithoutPng) {
    EXPECT_EQ(completePictureFileName(GetParam().picture, GetParam().pixels), GetParam().completed);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PictureFileNameTest,
    ::testing::Values(FileNameCase{"size_and_extension_added", "go_button", 16, "go_button_16.png"},
                      FileNameCase{"upper_case_extension_kept", "Start.PNG", 16, "Start.PNG"},
                      FileNameCase{"other_size", "new", 48, "new_48.png"},
                      FileNameCase{"extension_kept", "a.png", 64, "a.png"},
                      FileNameCase{"png_without_a_dot_is_a_name", "png", 24, "png_24.png"}),
    test::byName);

TEST(PictureFileName, AScaledScreenAsksForTwiceThePixels) {
    EXPECT_EQ(scaledPictureFileName("new", 16, 2), "new_32.png");
    EXPECT_EQ(scaledPictureFileName("new", 64, 2), "new_128.png");
    EXPECT_EQ(scaledPictureFileName("convert_button.png", 16, 2), "convert_button@2x.png");
    EXPECT_EQ(scaledPictureFileName("Start.PNG", 16, 2), "Start@2x.png");
}

} // namespace
} // namespace kx::ui
