#include "base/text.h"

#include <gtest/gtest.h>

namespace kx::base {

TEST(CaseAndTrim, AsciiOnly) {
    EXPECT_EQ(upperCase("Abc-z\xc3\xa9"), "ABC-Z\xc3\xa9");
    EXPECT_EQ(lowerCase("ABC-Z\xc3\x89"), "abc-z\xc3\x89");
    EXPECT_EQ(trimmed("  a b \t\r\n"), "a b");
    EXPECT_EQ(trimmed("\v\fa\f\v"), "a");
    EXPECT_EQ(trimmed("\xc2\xa0x\xc2\xa0"), "\xc2\xa0x\xc2\xa0");
    EXPECT_EQ(trimmed("\"x\"", "\""), "x");
    EXPECT_EQ(trimmed(" \t "), "");
}

TEST(EqualsIgnoringCase, FoldsAsciiLettersOnly) {
    EXPECT_TRUE(equalsIgnoringCase("NaN", "NAN"));
    EXPECT_TRUE(equalsIgnoringCase("+infinity", "+Infinity"));
    EXPECT_TRUE(equalsIgnoringCase("", ""));
    EXPECT_FALSE(equalsIgnoringCase("NAN", "NA"));
    EXPECT_FALSE(equalsIgnoringCase("[", "{"));
    EXPECT_FALSE(equalsIgnoringCase("\xc3\xa9", "\xc3\x89"));
}

TEST(ParseColor, SixHexDigitsElseBlack) {
    EXPECT_EQ(parseColor("FF0000"), 0xFFu);
    EXPECT_EQ(parseColor("00ff00"), 0xFF00u);
    EXPECT_EQ(parseColor("0000FF"), 0xFF0000u);
    EXPECT_EQ(parseColor("123456"), 0x12u + 0x34u * 256 + 0x56u * 65536);
    EXPECT_EQ(parseColor("red"), 0u);
    EXPECT_EQ(parseColor(""), 0u);
    EXPECT_EQ(parseColor("FFFFFFF"), 0u);
    EXPECT_EQ(parseColor("GGGGGG"), 0u);
    EXPECT_EQ(parseColor("1G2H3-"), 1u + 2u * 256 + 3u * 65536);
    EXPECT_EQ(parseColor("-1-1-1"), 0u);
}

} // namespace kx::base
