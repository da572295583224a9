#include "tests/support/image_compare.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace kx::test {
namespace {

// Rows of the picture's first toolbar button (x 4..44, y 22..62: between the menu bar and the
// fields of the frameless offscreen window) that hold a dark pixel: how tall its icon is drawn.
int firstToolbarIconRows(FIBITMAP* picture) {
    const int height = static_cast<int>(FreeImage_GetHeight(picture));
    int rows = 0;
    for (int y = 22; y < 62; ++y) {
        bool dark = false;
        for (int x = 4; x < 44 && !dark; ++x) {
            RGBQUAD pixel{};
            FreeImage_GetPixelColor(picture, x, height - 1 - y, &pixel);
            dark = pixel.rgbRed + pixel.rgbGreen + pixel.rgbBlue < 3 * 100;
        }
        rows += dark ? 1 : 0;
    }
    return rows;
}

// The default icon size is 32 pixels: the theme has pictures of that size, while the
// built-in ones are 16 pixels and would stay that small.
TEST(ScreenshotMode, ThePicturesShowTheThemeTheWindowShows) {
    TempDir dir;
    runProgram(programPath(), {"-T", dir.folder()},
               {{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_RUNTIME_DIR", dir.path().string()}});
    const auto picture = loadImage(dir.file("quorvant1.jpg"));
    ASSERT_TRUE(picture);
    EXPECT_GT(firstToolbarIconRows(picture.get()), 20);
}

} // namespace
} // namespace kx::test
