#include "base/text_format.h"

#include <gtest/gtest.h>

namespace kx::base {
namespace {

TEST(TextFormatTest, ReplacesEveryPlaceholderInAnyCase) {
    EXPECT_EQ(formatText("%s1% and %S1%, %s2%", "a", "b"), "a and a, b");
    EXPECT_EQ(formatText("%s1%%s2%%s3%%s4%", "1", "2", "3", "4"), "1234");
    EXPECT_EQ(formatText("%S4%-%s3%", "", "", "c", "d"), "d-c");
    EXPECT_EQ(formatText("no placeholders", "x"), "no placeholders");
}

TEST(TextFormatTest, LeavesEmptyArgumentsAndNearMissesAlone) {
    EXPECT_EQ(formatText("%s1% %s2%", "", "b"), "%s1% b");
    EXPECT_EQ(formatText("%s1 s1% %s5% %%s1%", "x"), "%s1 s1% %s5% %x");
    EXPECT_EQ(formatText("", "x", "y"), "");
}

TEST(TextFormatTest, ReplacesInArgumentOrder) {
    // A first argument that holds a later placeholder is replaced in turn.
    EXPECT_EQ(formatText("%s1%", "%s2%", "two"), "two");
    EXPECT_EQ(formatText("%s2%", "one", "%s1%"), "%s1%");
}

TEST(TextFormatTest, VersionTextDropsTrailingZeroPart) {
    EXPECT_EQ(versionText(320), "3.2");
    EXPECT_EQ(versionText(321), "3.2.1");
    EXPECT_EQ(versionText(300), "3.0");
    EXPECT_EQ(versionText(409), "4.0.9");
}

// KX_PROJECT_VERSION is the version CMake's project() states.
TEST(TextFormatTest, VersionIsTheProjectVersion) {
    EXPECT_EQ(versionText(k_version), KX_PROJECT_VERSION);
}

TEST(TextFormatTest, TitleTextIsProductAndVersion) {
    EXPECT_EQ(titleText(), "Kestrelix TIFF to BMP " KX_PROJECT_VERSION);
}

} // namespace
} // namespace kx::base