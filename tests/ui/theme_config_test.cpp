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
    ::testing::Values(LookupCase{"Theme", "Name", "Blue Sky"},       // blanks trimmed
                      LookupCase{"THEME", "name", "Blue Sky"},       // case ignored
                      LookupCase{"Buttons", "Convert", "go_button"}, //
                      LookupCase{"Icons", "Add", "addx"},            // a prefix matches first
                      LookupCase{"Icons", "AddX", "addx"},           //
                      LookupCase{"Icons", "New", "new_icon"},        // TABs removed
                      LookupCase{"Icons", "Help", "help"},           // up to the next "="
                      LookupCase{"Icons", "Web", ""},                // no "="
                      LookupCase{"Icons", "Exit", "exit"},           // last line without CR LF
                      LookupCase{"Icons", "Convert", ""},            // other section only
                      LookupCase{"Buttons", "Add", ""},              // next section's key
                      LookupCase{"Missing", "Name", ""},             //
                      LookupCase{"Theme", "ame", ""}));              // key must begin a line

TEST(ThemeValueTest, KeyMustFollowALineBreak) {
    EXPECT_EQ(readThemeValue("[Icons]Add=add\r\n", "Icons", "Add"), "");
    EXPECT_EQ(readThemeValue("", "Icons", "Add"), "");
}

struct FileNameCase {
    std::string_view name;
    int pixels;
    std::string_view completed;
};

class PictureFileNameTest : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(PictureFileNameTest, CompletesNamesWithoutPng) {
    EXPECT_EQ(completePictureFileName(GetParam().name, GetParam().pixels), GetParam().completed);
}

INSTANTIATE_TEST_SUITE_P(Names, PictureFileNameTest,
                         ::testing::Values(FileNameCase{"go_button", 16, "go_button_16.png"},
                                           FileNameCase{"Start.PNG", 16, "Start.PNG"},
                                           FileNameCase{"new", 48, "new_48.png"},
                                           FileNameCase{"a.png", 64, "a.png"},
                                           FileNameCase{"png", 24, "png_24.png"}));

} // namespace
} // namespace kx::ui
