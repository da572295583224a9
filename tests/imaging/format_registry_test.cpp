#include "imaging/format_registry.h"
#include "settings/settings.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

namespace kx::imaging {
namespace {

TEST(FormatRegistryTest, EveryOutputKeyNamesItsFreeImageFormatAndItsOwnExtension) {
    ASSERT_EQ(outputFormatKeys().size(), 20u);
    EXPECT_EQ(outputFormatKeys().front(), "bmp");
    EXPECT_EQ(outputFormatKeys().back(), "xpm");
    for (const std::string& key : outputFormatKeys()) {
        const auto format = findOutputFormat(key);
        ASSERT_TRUE(format) << key;
        EXPECT_EQ(format->extension, key);
        EXPECT_FALSE(format->description.empty());
        EXPECT_FALSE(allowedDepths(key).empty()) << key;
    }
    EXPECT_EQ(findOutputFormat("bmp")->format, FIF_BMP);
    EXPECT_EQ(findOutputFormat("jpg")->format, FIF_JPEG);
    EXPECT_EQ(findOutputFormat("tga")->format, FIF_TARGA);
    EXPECT_EQ(findOutputFormat("webp")->format, FIF_WEBP);
    EXPECT_EQ(findOutputFormat("bmp")->depths, "1,4,8,16,24,32");
    EXPECT_FALSE(findOutputFormat("jpeg"));
    EXPECT_FALSE(findOutputFormat("BMP"));
}

TEST(FormatRegistryTest, NearestAllowedDepth) {
    struct Case {
        const char* key;
        int requested, expected;
    } cases[] = {{"gif", 24, 8}, {"tiff", 24, 24}, {"hdr", 24, 96}, {"webp", 48, 32},
                 {"jpg", 1, 8},  {"ppm", 32, 48},  {"ppm", 64, 48}, {"jxr", 4, 8},
                 {"bmp", 1, 1},  {"bmp", 16, 16},  {"bmp", 48, 32}, {"bmp", 96, 32},
                 {"bmp", 2, 4},  {"bmp", 0, 1},    {"nope", 24, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(nearestAllowedDepth(c.key, c.requested), c.expected)
            << c.key << " from " << c.requested;
}

TEST(FormatRegistryTest, InputExtensions) {
    EXPECT_EQ(acceptedInputExtensions(settings::inputFormatList()), "tiff,tif");
    EXPECT_EQ(acceptedInputExtensions({"jpg", "tga"}), "jpg,jpeg,jpe,jif,tga,targa");
    EXPECT_EQ(acceptedInputExtensions({}), "");
    EXPECT_EQ(findInputExtension("tif")->family, "tiff");
    EXPECT_EQ(findInputExtension("apm")->family, "wmf");
    EXPECT_EQ(findInputExtension("apm")->description, "Aldus Placeable Metafile");
    EXPECT_EQ(findInputExtension("wmf")->description, "Windows Metafile Format");
    EXPECT_EQ(findInputExtension("cr2")->description, "Canon Camera RAW Image");
    EXPECT_FALSE(findInputExtension("TIF")) << "callers lower-case first";
}

} // namespace
} // namespace kx::imaging