#include "settings/settings.h"
#include "tests/support/case_names.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kx::settings {
namespace {

struct CentringCase {
    const char* name;
    DesktopSize desktop;
    int x;
    int y;
};

class WindowCentring : public ::testing::TestWithParam<CentringCase> {};

TEST_P(WindowCentring, PlacesTheDefaultWindow) {
    Settings s;
    applyDefaults(s, false, GetParam().desktop);
    EXPECT_EQ(s.width, 510);
    EXPECT_EQ(s.height, 260);
    EXPECT_EQ(s.x, GetParam().x);
    EXPECT_EQ(s.y, GetParam().y);
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, WindowCentring,
    ::testing::Values(CentringCase{"large_desktop", {1920, 1080}, 705, 410},
                      CentringCase{"smaller_than_the_window", {500, 200}, 100, 100},
                      CentringCase{"the_window_size", {510, 260}, 100, 100},
                      CentringCase{"one_pixel_larger_than_the_window", {511, 261}, 0, 0},
                      CentringCase{"wide_and_low", {1025, 100}, 257, 100},
                      CentringCase{"no_desktop", {0, 0}, 100, 100},
                      CentringCase{"negative_size", {-4000, -4000}, 100, 100}),
    test::byName);

TEST(ApplyDefaults, KeepAspectRatioDependsOnlyOnTheRunMode) {
    Settings window;
    Settings commandLine;
    applyDefaults(window, false, {1920, 1080});
    applyDefaults(commandLine, true, {1920, 1080});
    EXPECT_EQ(window.keepAspectRatio, 1);
    EXPECT_EQ(commandLine.keepAspectRatio, 0);
    commandLine.keepAspectRatio = 1;
    commandLine.updateDate = window.updateDate;
    commandLine.customTimestamp = window.customTimestamp;
    EXPECT_EQ(commandLine, window);
}

TEST(ApplyDefaults, SetsTheDocumentedValues) {
    Settings s;
    s.ddsLoadAs = 7;
    s.pngInterlaced = 1;
    s.recentFiles = "left over";
    applyDefaults(s, false);

    EXPECT_EQ(s.cfg, 19);
    EXPECT_EQ(s.language, "en");
    EXPECT_EQ(s.updateRange, 2);
    EXPECT_EQ(s.saveWindowPosition, 1);
    EXPECT_EQ(s.isMaximized, 0);
    EXPECT_EQ(s.uiTheme, "handdrawn");
    EXPECT_EQ(s.uiSize, 2);
    EXPECT_EQ(s.inputFormat, "tiff");
    EXPECT_EQ(s.ddsLoadAs, 0);
    EXPECT_EQ(s.rawToneMapping, 2);
    EXPECT_EQ(s.outputFormat, "bmp");
    EXPECT_EQ(s.pngInterlaced, 0);
    EXPECT_EQ(s.jpgQuality, 95);
    EXPECT_EQ(s.webpQuality, 100);
    EXPECT_EQ(s.imageRotationBackColor, "000000");
    EXPECT_EQ(s.imageResizeAlgorithm, 3);
    EXPECT_FLOAT_EQ(s.imageGamma, 1.0f);
    EXPECT_EQ(s.solidBottomColor, "000000");
    EXPECT_EQ(s.solidOpacity, 255);
    EXPECT_EQ(s.text, noticeLine());
    EXPECT_FALSE(s.text.empty());
    EXPECT_EQ(s.fonts, "Arial,Tahoma,Verdana");
    EXPECT_EQ(s.font, "Arial");
    EXPECT_EQ(s.fontSize, 14);
    EXPECT_EQ(s.fontColors, "000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF");
    EXPECT_EQ(s.backColors, s.fontColors);
    EXPECT_EQ(s.fontColor, "FFFFFF");
    EXPECT_EQ(s.backColor, "000000");
    EXPECT_EQ(s.textOpacity, 255);
    EXPECT_EQ(s.backOpacity, 1);
    EXPECT_EQ(s.textPosition, 8);
    EXPECT_EQ(s.imagePosition, 8);
    EXPECT_EQ(s.textXOffset, 10);
    EXPECT_EQ(s.imageYOffset, 10);
    EXPECT_EQ(s.textScale, 10);
    EXPECT_EQ(s.imageScale, 10);
    EXPECT_EQ(s.imageOpacity, 255);
    EXPECT_EQ(s.image, "");
    EXPECT_EQ(s.filenameMask, "%filename%.%ext%");
    EXPECT_EQ(s.outFoldersHistory, 1);
    EXPECT_EQ(s.outFoldersNumber, 5);
    EXPECT_EQ(s.keepSubfolders, 1);
    EXPECT_EQ(s.recentFiles, "");
    EXPECT_EQ(s.cleanRecentFiles, 0);
    EXPECT_EQ(s.updateDate, s.customTimestamp);
}

TEST(CurrentDate, IsTheLocalWallClockCountedAsUtc) {
    const std::time_t before = std::time(nullptr);
    const Date date = currentDate();
    std::tm local{};
    localtime_r(&before, &local);
    const long expected = static_cast<long>(before + local.tm_gmtoff);
    // A second may pass between the two readings.
    EXPECT_GE(date, expected);
    EXPECT_LE(date, expected + 2);
}

} // namespace
} // namespace kx::settings
