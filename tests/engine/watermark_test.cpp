#include "engine/drawing_module.h"
#include "engine/frame.h"
#include "engine/watermark.h"
#include "imaging/bitmap.h"
#include "tests/support/gui_app.h"
#include "tests/support/image_compare.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <QFont>
#include <QImage>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <vector>

namespace kx::engine {
namespace {

using test::Rgba;

// Pixel (x, y) of a 24-bit page, top row first; read directly, as the box searches below visit
// every pixel.
Rgba pixelAt(FIBITMAP* page, int x, int y) {
    const BYTE* p = FreeImage_GetScanLine(page, int(FreeImage_GetHeight(page)) - 1 - y) + 3 * x;
    return {p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE], 255};
}

imaging::Bitmap plainPage(int width, int height, BYTE grey) {
    imaging::Bitmap page(FreeImage_Allocate(width, height, 24));
    for (int y = 0; y < height; ++y)
        memset(FreeImage_GetScanLine(page.get(), y), grey, FreeImage_GetPitch(page.get()));
    return page;
}

struct Box {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1; // inclusive
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
    bool empty() const { return right < 0; }
};

// Bounding box of the pixels for which `hit` holds.
template <typename Hit> Box boxOf(FIBITMAP* page, Hit hit) {
    Box box;
    if (!page || FreeImage_GetBPP(page) != 24) {
        ADD_FAILURE() << "the page is not 24 bits";
        return box;
    }
    for (int y = 0; y < int(FreeImage_GetHeight(page)); ++y) {
        for (int x = 0; x < int(FreeImage_GetWidth(page)); ++x) {
            if (hit(pixelAt(page, x, y))) {
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                       std::max(box.bottom, y)};
            }
        }
    }
    return box;
}

Box changedBox(FIBITMAP* page, int grey) {
    return boxOf(page, [grey](Rgba p) { return p.r != grey || p.g != grey || p.b != grey; });
}

// Opaque red box with white aliased text: the watermark is exactly the changed pixels.
settings::Settings textSettings(const std::string& text) {
    settings::Settings s;
    settings::applyDefaults(s, true);
    s.doWatermark = 1;
    s.text = text;
    s.font = "Arial";
    s.fontSize = 14;
    s.fontColor = "FFFFFF";
    s.textOpacity = 255;
    s.backColor = "FF0000";
    s.backOpacity = 255;
    s.textAntialiasing = 0;
    s.textPadding = 0;
    s.textXOffset = 5;
    s.textYOffset = 5;
    return s;
}

JobState pageJob(int width, int height) {
    JobState job;
    job.pageWidth = width;
    job.pageHeight = height;
    job.frameNumber = 1;
    return job;
}

imaging::Bitmap drawText(imaging::Bitmap page, const settings::Settings& s) {
    PreparedWatermark prepared;
    EXPECT_EQ(prepareWatermark(s, prepared), WatermarkProblem::None);
    const int w = int(FreeImage_GetWidth(page.get())), h = int(FreeImage_GetHeight(page.get()));
    return drawWatermark(std::move(page), s, pageJob(w, h), prepared);
}

class WatermarkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureGuiApplication(); }
};

class WatermarkPositionTest : public WatermarkTest, public ::testing::WithParamInterface<int> {};

TEST_P(WatermarkPositionTest, PlacesTheBoxAtItsPositionWithOffsets) {
    const int position = GetParam();
    settings::Settings s = textSettings("Hi");
    s.textPosition = static_cast<int8_t>(position);
    const imaging::Bitmap page = drawText(plainPage(200, 100, 0), s);
    const Box box = changedBox(page.get(), 0);
    ASSERT_FALSE(box.empty());
    const int column = position % 3, row = position / 3;
    const int x = column == 0 ? 5 : column == 1 ? (200 - box.width()) / 2 : 200 - box.width() - 5;
    const int y = row == 0 ? 5 : row == 1 ? (100 - box.height()) / 2 : 100 - box.height() - 5;
    EXPECT_EQ(box.left, x);
    EXPECT_EQ(box.top, y);
    EXPECT_EQ(pixelAt(page.get(), box.left, box.top).r, 255);
}

// Rows named as the position keywords name the positions.
std::string positionName(const ::testing::TestParamInfo<int>& info) {
    constexpr const char* k_names[] = {"top_left",    "top_center",    "top_right",
                                       "middle_left", "middle_center", "middle_right",
                                       "bottom_left", "bottom_center", "bottom_right"};
    return k_names[info.param];
}

INSTANTIATE_TEST_SUITE_P(NinePositions, WatermarkPositionTest, ::testing::Range(0, 9),
                         positionName);

TEST_F(WatermarkTest, PositionOutsideTheTableGoesToTheAreaOrigin) {
    for (const int position : {-1, 9, 100}) {
        settings::Settings s = textSettings("Hi");
        s.textPosition = static_cast<int8_t>(position);
        const Box box = changedBox(drawText(plainPage(200, 100, 0), s).get(), 0);
        EXPECT_EQ(box.left, 0);
        EXPECT_EQ(box.top, 0);
    }
}

TEST_F(WatermarkTest, FrameBoundaryKeepsTheBoxInsideTheFrame) {
    settings::Settings s = textSettings("Hi");
    s.doFrame = 1;
    s.solidLeft = s.solidRight = s.solidTop = s.solidBottom = 20;
    s.textBoundary = 1;
    s.textPosition = 8;
    const Box box = changedBox(drawText(plainPage(200, 100, 0), s).get(), 0);
    EXPECT_EQ(box.right, 200 - 25 - 1);
    EXPECT_EQ(box.bottom, 100 - 25 - 1);

    s.textPosition = 0;
    const Box topLeft = changedBox(drawText(plainPage(200, 100, 0), s).get(), 0);
    EXPECT_EQ(topLeft.left, 25);
    EXPECT_EQ(topLeft.top, 25);
}

TEST_F(WatermarkTest, WatermarkWiderThanThePageIsCutAtThePageEdge) {
    settings::Settings s = textSettings("WWWWWWWWWWWWWWWWWWWWWWWW");
    s.textPosition = 0;
    const Box box = changedBox(drawText(plainPage(100, 50, 0), s).get(), 0);
    EXPECT_EQ(box.left, 5);
    EXPECT_EQ(box.right, 99);
}

TEST_F(WatermarkTest, OffsetsThatLeaveNoRoomKeepThePageUndecorated) {
    settings::Settings s = textSettings("Hi");
    for (const int offset : {100, 150, INT_MAX}) {
        s.textXOffset = offset;
        const imaging::Bitmap page = drawText(plainPage(100, 50, 0), s);
        ASSERT_TRUE(page);
        EXPECT_TRUE(changedBox(page.get(), 0).empty());
    }
    // Negative offsets push the box partly off the page: the part on the page is drawn.
    s.textXOffset = s.textYOffset = INT_MIN;
    EXPECT_TRUE(changedBox(drawText(plainPage(100, 50, 0), s).get(), 0).empty());
    s.textPosition = 0;
    s.textXOffset = s.textYOffset = -3;
    const Box box = changedBox(drawText(plainPage(100, 50, 0), s).get(), 0);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
}

TEST_F(WatermarkTest, MaskTokensAreReplacedOnlyWithTwoPercentSigns) {
    settings::Settings s = textSettings("Width %WIDTH% x %height% Page %Frame%");
    JobState job = pageJob(321, 123);
    job.frameNumber = 2;
    EXPECT_EQ(watermarkText(s, job), "Width 321 x 123 Page 2");
    s.text = "100% Sure";
    EXPECT_EQ(watermarkText(s, job), "100% Sure");
    s.text = "A%eol%%width%";
    EXPECT_EQ(watermarkText(s, job), "A%eol%321");
}

// Rows of white text pixels grouped into lines, each with its leftmost and rightmost x.
std::vector<std::pair<int, int>> lineExtents(FIBITMAP* page) {
    std::vector<std::pair<int, int>> lines;
    bool inLine = false;
    for (int y = 0; y < int(FreeImage_GetHeight(page)); ++y) {
        int left = INT_MAX, right = -1;
        for (int x = 0; x < int(FreeImage_GetWidth(page)); ++x) {
            if (pixelAt(page, x, y).g == 255) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        if (right < 0) {
            inLine = false;
            continue;
        }
        if (!inLine)
            lines.push_back({left, right});
        lines.back() = {std::min(lines.back().first, left), std::max(lines.back().second, right)};
        inLine = true;
    }
    return lines;
}

TEST_F(WatermarkTest, LinesOfAMultiLineTextFollowTheAlignment) {
    settings::Settings s = textSettings("HH%EOL%HHHHHHHH%eol%H");
    s.textPadding = 6;
    s.fontLeading = 8;
    s.textPosition = 0;
    s.textAlignment = 2;
    imaging::Bitmap page = drawText(plainPage(300, 150, 0), s);
    const Box box = changedBox(page.get(), 0);
    std::vector<std::pair<int, int>> lines = lineExtents(page.get());
    ASSERT_EQ(lines.size(), 3u);
    // The same letter ends every line, so the glyphs end in the same column; the letter's
    // right bearing keeps it a pixel or two inside the padding.
    EXPECT_EQ(lines[0].second, lines[1].second);
    EXPECT_EQ(lines[2].second, lines[1].second);
    EXPECT_LE(lines[1].second, box.right - 6);
    EXPECT_GE(lines[1].second, box.right - 6 - 3);
    EXPECT_LT(lines[1].first, lines[0].first);

    s.textAlignment = 0;
    page = drawText(plainPage(300, 150, 0), s);
    lines = lineExtents(page.get());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].first, lines[1].first);
    EXPECT_EQ(lines[2].first, lines[1].first);
    EXPECT_GE(lines[1].first, 5 + 6);
}

TEST_F(WatermarkTest, AntialiasedTextLaysBackgroundAndTextAtTheirOpacities) {
    settings::Settings s = textSettings("Hi");
    s.textAntialiasing = 1;
    s.backOpacity = 128;
    s.textPadding = 4;
    s.textPosition = 0;
    const imaging::Bitmap page = drawText(plainPage(200, 100, 0), s);
    // Padding corner: red at half strength over black; Qt's opacity and FreeImage's
    // compositing each round, so two levels either way.
    const Rgba corner = pixelAt(page.get(), 6, 6);
    EXPECT_NEAR(corner.r, 128, 2);
    EXPECT_EQ(corner.g, 0);
    EXPECT_FALSE(boxOf(page.get(), [](Rgba p) { return p.g == 255 && p.b == 255; }).empty());
}

TEST_F(WatermarkTest, RotationTurnsTheBoxOnAGrowingCanvas) {
    settings::Settings s = textSettings("Hello");
    s.textPosition = 0;
    s.textXOffset = s.textYOffset = 0;
    const Box flat = changedBox(drawText(plainPage(200, 200, 0), s).get(), 0);
    s.textRotation = 90;
    const Box turned = changedBox(drawText(plainPage(200, 200, 0), s).get(), 0);
    EXPECT_EQ(turned.width(), flat.height());
    EXPECT_EQ(turned.height(), flat.width());
    s.textRotation = 359;
    const Box tilted = changedBox(drawText(plainPage(200, 200, 0), s).get(), 0);
    EXPECT_GT(tilted.height(), flat.height());
    // The corners a turn opens up are transparent: the page shows through them.
    s.textRotation = 30;
    const imaging::Bitmap turned30 = drawText(plainPage(200, 200, 0), s);
    const Box box30 = changedBox(turned30.get(), 0);
    EXPECT_GT(box30.width(), flat.width());
    EXPECT_EQ(pixelAt(turned30.get(), box30.left, box30.top).r, 0);
    EXPECT_EQ(pixelAt(turned30.get(), box30.right, box30.bottom).r, 0);
    for (const int angle : {360, -90}) {
        s.textRotation = angle;
        EXPECT_EQ(changedBox(drawText(plainPage(200, 200, 0), s).get(), 0).width(), flat.width());
    }
}

TEST_F(WatermarkTest, FontsResolveDirectlyOrThroughAnAlias) {
    EXPECT_TRUE(fontCanBeLoaded("Arial"));
    EXPECT_TRUE(fontCanBeLoaded("arial"));
    EXPECT_TRUE(fontCanBeLoaded("Liberation Sans"));
    EXPECT_TRUE(fontCanBeLoaded("DejaVu Sans"));
    EXPECT_FALSE(fontCanBeLoaded("NoSuchFont123"));
    EXPECT_FALSE(fontCanBeLoaded(""));
    EXPECT_FALSE(fontCanBeLoaded("Bad:name=1"));

    settings::Settings s = textSettings("x");
    s.fontStyle = 3;
    s.fontEffect = 2;
    PreparedWatermark prepared;
    ASSERT_EQ(prepareWatermark(s, prepared), WatermarkProblem::None);
    ASSERT_TRUE(prepared.font);
    // The drawing module holds the font as a QFont of the same Qt the test links.
    const auto* font = static_cast<const QFont*>(prepared.font.get());
    EXPECT_TRUE(font->bold() && font->italic());
    EXPECT_TRUE(font->strikeOut() && !font->underline());
    EXPECT_EQ(font->pointSize(), 14);
    for (const int size : {0, -3, INT_MIN, INT_MAX}) {
        s.fontSize = size;
        EXPECT_EQ(prepareWatermark(s, prepared), WatermarkProblem::InvalidFont) << size;
        EXPECT_FALSE(prepared.font);
    }
    s = textSettings("x");
    s.font = "NoSuchFont123";
    EXPECT_EQ(prepareWatermark(s, prepared), WatermarkProblem::InvalidFont);
}

TEST_F(WatermarkTest, AbsurdTextSettingsNeverCrash) {
    settings::Settings base = textSettings("Hi%eol%there");
    std::vector<settings::Settings> cases(8, base);
    cases[0].text = "";
    cases[1].textPadding = INT_MAX;
    cases[2].textPadding = INT_MIN;
    cases[3].fontLeading = INT_MIN;
    cases[4].fontLeading = INT_MAX;
    cases[5].textXOffset = cases[5].textYOffset = INT_MAX;
    cases[6].textRotation = 359;
    cases[6].textPadding = 20000;
    cases[7].fontSize = 24000;
    for (const settings::Settings& s : cases) {
        const imaging::Bitmap page = drawText(plainPage(60, 40, 0), s);
        ASSERT_TRUE(page);
        EXPECT_EQ(FreeImage_GetWidth(page.get()), 60u);
    }
    // Empty text with no padding is an empty box: nothing is drawn.
    EXPECT_TRUE(changedBox(drawText(plainPage(60, 40, 0), cases[0]).get(), 0).empty());
    // Without a prepared font the page stays undecorated but becomes 24 bits.
    imaging::Bitmap grey(FreeImage_ConvertTo8Bits(plainPage(60, 40, 9).get()));
    const imaging::Bitmap page = drawWatermark(std::move(grey), base, pageJob(60, 40), {});
    EXPECT_EQ(FreeImage_GetBPP(page.get()), 24u);
    EXPECT_TRUE(changedBox(page.get(), 9).empty());
    EXPECT_FALSE(drawWatermark(nullptr, base, pageJob(60, 40), {}));
    PreparedWatermark prepared;
    ASSERT_EQ(prepareWatermark(base, prepared), WatermarkProblem::None);
    // FreeImage makes no page of 0 x 0 pixels: such a page arrives as none, and none comes out.
    imaging::Bitmap empty(FreeImage_Allocate(0, 0, 24));
    ASSERT_FALSE(empty);
    EXPECT_FALSE(drawWatermark(std::move(empty), base, {}, prepared));
}

// ---- Image watermark ------------------------------------------------------------------

settings::Settings imageSettings(const std::string& path) {
    settings::Settings s;
    settings::applyDefaults(s, true);
    s.doWatermark = 2;
    s.image = path;
    s.imagePosition = 0;
    s.imageXOffset = s.imageYOffset = 5;
    s.imageOpacity = 255;
    return s;
}

imaging::Bitmap drawImage(imaging::Bitmap page, const settings::Settings& s) {
    PreparedWatermark prepared;
    EXPECT_EQ(prepareWatermark(s, prepared), WatermarkProblem::None);
    return drawWatermark(std::move(page), s, pageJob(100, 50), prepared);
}

TEST_F(WatermarkTest, OpacityBlendsTheImageWithThePage) {
    test::TempDir dir;
    QImage red(20, 10, QImage::Format_RGB888);
    red.fill(QColor(255, 0, 0));
    ASSERT_TRUE(red.save(QString::fromStdString(dir.file("r.png")), "PNG"));
    // Page level, opacity, expected red and green; Qt's opacity and FreeImage's compositing
    // each round, so two levels either way.
    const struct {
        const char* name;
        int page, opacity, red, green;
    } cases[] = {{"half-over-white", 255, 128, 255, 127},
                 {"half-over-black", 0, 128, 128, 0},
                 {"quarter-over-grey", 100, 64, 139, 75},
                 {"opaque", 100, 255, 255, 0},
                 {"invisible", 100, 0, 100, 100}};
    for (const auto& c : cases) {
        settings::Settings s = imageSettings(dir.file("r.png"));
        s.imageOpacity = c.opacity;
        const imaging::Bitmap page = drawImage(plainPage(100, 50, BYTE(c.page)), s);
        const Rgba inside = pixelAt(page.get(), 10, 10);
        EXPECT_NEAR(inside.r, c.red, 2) << c.name;
        EXPECT_NEAR(inside.g, c.green, 2) << c.name;
        EXPECT_NEAR(inside.b, c.green, 2) << c.name;
        const Rgba outside = pixelAt(page.get(), 30, 10);
        EXPECT_EQ(outside.r, c.page) << c.name;
    }
}

TEST_F(WatermarkTest, TransparentPartsOfAnImageStayTransparent) {
    test::TempDir dir;
    QImage half(20, 10, QImage::Format_ARGB32);
    half.fill(Qt::transparent);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            half.setPixel(x, y, qRgba(0, 0, 255, 255));
    ASSERT_TRUE(half.save(QString::fromStdString(dir.file("h.png")), "PNG"));
    const imaging::Bitmap page =
        drawImage(plainPage(100, 50, 255), imageSettings(dir.file("h.png")));
    const Rgba opaque = pixelAt(page.get(), 7, 7);
    EXPECT_EQ(opaque.r, 0);
    EXPECT_EQ(opaque.b, 255);
    const Rgba clear = pixelAt(page.get(), 20, 7);
    EXPECT_EQ(clear.r, 255);
    EXPECT_EQ(clear.g, 255);
}

TEST_F(WatermarkTest, GreyscaleFilterWeighsTheChannelsAndKeepsAlpha) {
    test::TempDir dir;
    QImage colours(2, 1, QImage::Format_ARGB32);
    colours.setPixel(0, 0, qRgba(200, 100, 50, 255));
    colours.setPixel(1, 0, qRgba(0, 0, 255, 0));
    ASSERT_TRUE(colours.save(QString::fromStdString(dir.file("c.png")), "PNG"));
    settings::Settings s = imageSettings(dir.file("c.png"));
    s.imageGreyscale = 1;
    const imaging::Bitmap page = drawImage(plainPage(100, 50, 255), s);
    const Rgba grey = pixelAt(page.get(), 5, 5); // (77*200 + 150*100 + 29*50) >> 8
    EXPECT_EQ(grey.r, 124);
    EXPECT_EQ(grey.g, 124);
    EXPECT_EQ(grey.b, 124);
    const Rgba clear = pixelAt(page.get(), 6, 5);
    EXPECT_EQ(clear.b, 255);
    EXPECT_EQ(clear.r, 255);
}

TEST_F(WatermarkTest, TiffImagesServeAsWatermarksToo) {
    test::TempDir dir;
    const std::string path = dir.file("mark.tif");
    ASSERT_TRUE(test::writeTiff(path, {test::rgbPage(8, 4, [](int, int) {
                                    return test::Rgb{10, 200, 30};
                                })}));
    const imaging::Bitmap page = drawImage(plainPage(100, 50, 255), imageSettings(path));
    const Box box = changedBox(page.get(), 255);
    EXPECT_EQ(box.left, 5);
    EXPECT_EQ(box.width(), 8);
    EXPECT_EQ(box.height(), 4);
    EXPECT_EQ(pixelAt(page.get(), 6, 6).g, 200);
}

// A TIFF with tags libtiff does not know (FreeImage asks for EXIF tags) prints nothing.
TEST_F(WatermarkTest, TiffWatermarkPrintsNoLibraryMessages) {
    test::TempDir dir;
    const test::ProgramResult run =
        test::runProgram(test::programPath(),
                         {"-q", "-i", test::corpusFile("lzw-predictor2-irfanview.tif"), "-o",
                          dir.folder(), "--wm-image=" + test::corpusFile("multipage.tiff")},
                         {{"XDG_RUNTIME_DIR", dir.folder()}});
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(std::filesystem::exists(dir.file("lzw-predictor2-irfanview.bmp")));
}

TEST_F(WatermarkTest, PaddingWidensTheBoxOnEverySide) {
    settings::Settings s = textSettings("Hi");
    s.textPosition = 0;
    const imaging::Bitmap tight = drawText(plainPage(200, 100, 0), s);
    s.textPadding = 7;
    const imaging::Bitmap padded = drawText(plainPage(200, 100, 0), s);
    const Box tightBox = changedBox(tight.get(), 0);
    const Box paddedBox = changedBox(padded.get(), 0);
    EXPECT_EQ(paddedBox.width(), tightBox.width() + 14);
    EXPECT_EQ(paddedBox.height(), tightBox.height() + 14);
    const auto white = [](Rgba p) { return p.g == 255; };
    const Box tightText = boxOf(tight.get(), white);
    const Box paddedText = boxOf(padded.get(), white);
    EXPECT_EQ(paddedText.left, tightText.left + 7);
    EXPECT_EQ(paddedText.top, tightText.top + 7);
}

TEST_F(WatermarkTest, ImageFilesThatAreMissingEmptyOrNoImagesAreRefused) {
    test::TempDir dir;
    PreparedWatermark prepared;
    EXPECT_EQ(prepareWatermark(imageSettings(""), prepared), WatermarkProblem::EmptyImage);
    EXPECT_EQ(prepareWatermark(imageSettings(dir.file("missing.png")), prepared),
              WatermarkProblem::InvalidImage);
    test::writeFile(dir.file("empty.png"), "");
    EXPECT_EQ(prepareWatermark(imageSettings(dir.file("empty.png")), prepared),
              WatermarkProblem::InvalidImage);
    test::writeFile(dir.file("text.png"), "this is not a picture");
    settings::Settings s = imageSettings(dir.file("text.png"));
    EXPECT_EQ(prepareWatermark(s, prepared), WatermarkProblem::InvalidImage);
    EXPECT_EQ(prepareWatermark(imageSettings(dir.folder()), prepared),
              WatermarkProblem::InvalidImage);
    // A file that turned bad after the check only leaves the page undecorated.
    const imaging::Bitmap page =
        drawWatermark(plainPage(100, 50, 255), s, pageJob(100, 50), prepared);
    ASSERT_TRUE(page);
    EXPECT_TRUE(changedBox(page.get(), 255).empty());
}

TEST_F(WatermarkTest, ImageIsDecodedOnceAndServesEveryPage) {
    test::TempDir dir;
    QImage red(6, 4, QImage::Format_RGB888);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QString::fromStdString(dir.file("r.png")), "PNG"));
    const settings::Settings s = imageSettings(dir.file("r.png"));
    PreparedWatermark prepared;
    ASSERT_EQ(prepareWatermark(s, prepared), WatermarkProblem::None);
    std::filesystem::remove(dir.file("r.png")); // pages never read the file again
    for (int page = 0; page < 3; ++page) {
        const imaging::Bitmap marked =
            drawWatermark(plainPage(100, 50, 255), s, pageJob(100, 50), prepared);
        EXPECT_EQ(changedBox(marked.get(), 255).width(), 6) << page;
        EXPECT_EQ(pixelAt(marked.get(), 6, 6).g, 0) << page;
    }
}

TEST_F(WatermarkTest, ImageThatCrashesItsDecoderIsRefusedAndTheProgramGoesOn) {
    test::TempDir dir;
    QImage any(4, 4, QImage::Format_RGB888);
    any.fill(Qt::blue);
    ASSERT_TRUE(any.save(QString::fromStdString(dir.file("a.png")), "PNG"));
    for (const char* death : {"kill -SEGV $$", "kill -ABRT $$", "exit 3", "printf 'garbage'"}) {
        const std::string decoder = dir.file("crashing-decoder");
        test::writeFile(decoder, std::string("#!/bin/sh\n") + death + "\n");
        chmod(decoder.c_str(), 0755);
        PreparedWatermark prepared;
        EXPECT_EQ(prepareWatermark(imageSettings(dir.file("a.png")), prepared, decoder),
                  WatermarkProblem::InvalidImage)
            << death;
        EXPECT_FALSE(prepared.image);
    }
}

} // namespace
} // namespace kx::engine
