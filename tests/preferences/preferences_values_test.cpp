#include "settings/settings.h"
#include "ui/preferences/preferences_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kx::ui::prefs {
namespace {

TEST(PreferencesValues, LeadingIntegerReadsLikeAtoi) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"250", 250},
        {"-5", -5},
        {"+7", 7},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {" 42", 42},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(leadingInteger(c.text), c.value) << c.text;
}

TEST(PreferencesValues, OnlyEmptyTextOrALoneSignIsPartial) {
    EXPECT_TRUE(isPartialNumber(""));
    EXPECT_TRUE(isPartialNumber("-"));
    EXPECT_TRUE(isPartialNumber("+"));
    EXPECT_FALSE(isPartialNumber("-1"));
    EXPECT_FALSE(isPartialNumber("x"));
}

TEST(PreferencesValues, GammaCountsHundredthsClampedToTheRange) {
    const struct {
        const char* text;
        int count;
        const char* shown;
    } cases[] = {
        {"0.005", 1, "0.01"},   {"12", 999, "9.99"}, {"1", 100, "1.00"}, {"1.234", 123, "1.23"},
        {"1.235", 124, "1.24"}, {"-3", 1, "0.01"},   {"abc", 1, "0.01"}, {"2.5x", 250, "2.50"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gammaCountOfText(c.text), c.count) << c.text;
        EXPECT_EQ(gammaText(gammaCountOfText(c.text)), c.shown) << c.text;
    }
}

TEST(PreferencesValues, GammaOfAnUnusableStoredValueStaysInRange) {
    EXPECT_EQ(gammaCount(std::numeric_limits<double>::quiet_NaN()), 100);
    EXPECT_EQ(gammaCount(std::numeric_limits<double>::infinity()), 999);
    EXPECT_EQ(gammaCount(-std::numeric_limits<double>::infinity()), 1);
}

TEST(PreferencesValues, CleanedTextLosesOuterSpacesTabsAndLineBreaks) {
    EXPECT_EQ(cleanedText("%filename%\t.%ext% "), "%filename%.%ext%");
    EXPECT_EQ(cleanedText("  a b\r\n"), "a b");
    EXPECT_EQ(cleanedText(" \t "), "");
}

TEST(PreferencesValues, ListsSplitAtCommasTrimmedWithoutEmptyItems) {
    EXPECT_EQ(splitList("Arial, Tahoma ,,Verdana"),
              (std::vector<std::string>{"Arial", "Tahoma", "Verdana"}));
    EXPECT_TRUE(splitList("").empty());
}

TEST(PreferencesValues, AppendingToAnEmptyListAddsNoComma) {
    std::string list;
    appendToList(list, "00FF00");
    EXPECT_EQ(list, "00FF00");
    appendToList(list, "FF0000");
    EXPECT_EQ(list, "00FF00,FF0000");
}

TEST(PreferencesValues, ColoursAreNormalisedAsTheEngineReadsThem) {
    EXPECT_EQ(normalisedColour("ff8000"), "FF8000");
    EXPECT_EQ(normalisedColour("FFF"), "000000");
    EXPECT_EQ(normalisedColour(""), "000000");
}

TEST(PreferencesValues, ThemeChangeOutranksSizeChange) {
    EXPECT_EQ(refreshRequestFor("a", "b", 1, 2), 1);
    EXPECT_EQ(refreshRequestFor("a", "b", 1, 1), 1);
    EXPECT_EQ(refreshRequestFor("a", "a", 1, 2), 2);
    EXPECT_EQ(refreshRequestFor("a", "a", 1, 1), 0);
}

TEST(PreferencesValues, ColourCorrectionFollowsTheFourAdjustments) {
    settings::Settings s;
    settings::applyDefaults(s, false);
    EXPECT_EQ(colourCorrectionWanted(s), 0);
    settings::Settings brighter = s;
    brighter.imageBrightness = 1;
    EXPECT_EQ(colourCorrectionWanted(brighter), 1);
    settings::Settings contrast = s;
    contrast.imageContrast = -1;
    EXPECT_EQ(colourCorrectionWanted(contrast), 1);
    settings::Settings gamma = s;
    gamma.imageGamma = 0.99f;
    EXPECT_EQ(colourCorrectionWanted(gamma), 1);
    settings::Settings inverted = s;
    inverted.imageInvert = 1;
    EXPECT_EQ(colourCorrectionWanted(inverted), 1);
}

} // namespace
} // namespace kx::ui::prefs