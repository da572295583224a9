#include "base/paths.h"
#include "engine/job_state.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widget_app.h"
#include "tests/support/zip_writer.h"
#include "ui/pictures.h"
#include "ui/theme_archive.h"
#include "ui/themes.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>

namespace kx::ui {
namespace {

using test::makeZip;
using test::ZipEntry;

std::string png(int pixels, QColor color) {
    QImage image(pixels, pixels, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

QColor colorOf(PictureSet set, std::string_view name) {
    return picture(set, name).toImage().pixelColor(0, 0);
}

int sizeOf(PictureSet set, std::string_view name) {
    return picture(set, name).width();
}

const QColor k_red(255, 0, 0), k_green(0, 255, 0), k_blue(0, 0, 255), k_grey(128, 128, 128);

class ThemesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureWidgetApplication(); }
    void SetUp() override {
        bindBuiltInPictures();
        settings::applyDefaults(m_settings, false);
        std::filesystem::create_directory(m_dir.path() / "gfx");
    }

    void addTheme(const std::string& key, const std::vector<ZipEntry>& entries) {
        test::writeFile(m_dir.file("gfx/" + key + ".zip"), makeZip(entries));
    }
    std::vector<ThemeEntry> scan() const { return listThemesIn({m_dir.folder() + "gfx/"}); }
    void load(const std::string& key, bool buttons = true, bool menu = true, bool toolbar = true) {
        m_settings.uiTheme = key;
        loadThemePictures(m_settings, scan(), buttons, menu, toolbar);
    }

    test::TempDir m_dir;
    settings::Settings m_settings;
};

TEST_F(ThemesTest, BuiltInPicturesHaveTheirSizes) {
    for (PictureSet set : {PictureSet::Buttons, PictureSet::MenuIcons, PictureSet::ToolbarIcons}) {
        for (const std::string& name : pictureNames(set)) {
            const int expected = set == PictureSet::Buttons && name == "Convert" ? 64 : 16;
            EXPECT_EQ(sizeOf(set, name), expected) << name;
        }
    }
    EXPECT_EQ(aboutBanner().size(), QSize(360, 40));
}

TEST_F(ThemesTest, ListsArchivesByKeyWithTheNameFromThemeCfg) {
    addTheme("sky", {{"theme.cfg", "[Theme]\r\nName=Blue Sky\r\n"}});
    addTheme("bare", {{"other.png", png(16, k_red)}});
    test::writeFile(m_dir.file("gfx/empty.zip"), "");
    test::writeFile(m_dir.file("gfx/broken.zip"), "no archive");
    test::writeFile(m_dir.file("gfx/notes.txt"), "not a theme");
    std::filesystem::create_directory(m_dir.path() / "gfx" / "folder.zip");

    const std::vector<ThemeEntry> themes = scan();
    ASSERT_EQ(themes.size(), 4u);
    EXPECT_EQ(themes[0].key, "bare");
    EXPECT_EQ(themes[0].displayName, ""); // opens, but has no theme.cfg
    EXPECT_EQ(themes[1].key, "broken");
    EXPECT_EQ(themes[1].displayName, "broken");
    EXPECT_EQ(themes[2].key, "empty");
    EXPECT_EQ(themes[2].displayName, "empty");
    EXPECT_EQ(themes[3].key, "sky");
    EXPECT_EQ(themes[3].displayName, "Blue Sky");
    EXPECT_EQ(themes[3].path, m_dir.file("gfx/sky.zip"));
}

TEST_F(ThemesTest, NameIsReadFromTheFirst255BytesOnly) {
    addTheme("late", {{"theme.cfg", "[Other]\r\n" + std::string(300, ';') +
                                        "\r\n[Theme]\r\nName=Too Late\r\n"}});
    EXPECT_EQ(scan().at(0).displayName, "");
}

// Only the directory and the entries asked for are read from the file, so an archive far
// larger than any picture it holds costs no memory for its size.
TEST_F(ThemesTest, LargeArchiveGivesItsNameAndPicturesFromBehindItsBulk) {
    addTheme("large", {{"theme.cfg", "[Theme]\r\nName=Large\r\n[Buttons]\r\nConvert=go.png\r\n"},
                       {"bulk.bin", std::string(ThemeArchive::k_maxArchiveBytes, 'x'), false},
                       {"go.png", png(64, k_green)}});
    EXPECT_EQ(scan().at(0).displayName, "Large");
    load("large", true, false, false);
    EXPECT_EQ(colorOf(PictureSet::Buttons, "Convert"), k_green);
}

TEST_F(ThemesTest, EarlierFolderHidesTheSameKeyLaterAndMissingFoldersGiveNothing) {
    std::filesystem::create_directory(m_dir.path() / "second");
    addTheme("sky", {{"theme.cfg", "[Theme]\r\nName=First\r\n"}});
    test::writeFile(m_dir.file("second/sky.zip"),
                    makeZip({{"theme.cfg", "[Theme]\r\nName=Second\r\n"}}));
    test::writeFile(m_dir.file("second/sea.zip"),
                    makeZip({{"theme.cfg", "[Theme]\r\nName=Sea\r\n"}}));
    const auto themes = listThemesIn(
        {m_dir.folder() + "gfx/", m_dir.folder() + "missing/", m_dir.folder() + "second/"});
    ASSERT_EQ(themes.size(), 2u);
    EXPECT_EQ(themes[0].displayName, "First");
    EXPECT_EQ(themes[1].displayName, "Sea");
}

TEST_F(ThemesTest, NamesWithoutPngAreCompletedBySizeAndPngNamesKept) {
    addTheme("t", {{"theme.cfg", "[Buttons]\r\nConvert = go_button\r\nInFiles = Start.PNG\r\n"
                                 "[Icons]\r\nNew=new\r\n"},
                   {"go_button_16.png", png(16, k_red)},
                   {"Start.PNG", png(20, k_green)},
                   {"new_16.png", png(16, k_blue)},
                   {"new_48.png", png(48, k_grey)}});
    m_settings.uiSize = 3;
    load("t");
    EXPECT_EQ(colorOf(PictureSet::Buttons, "Convert"), k_red);
    EXPECT_EQ(colorOf(PictureSet::Buttons, "InFiles"), k_green);
    EXPECT_EQ(sizeOf(PictureSet::MenuIcons, "New"), 16);
    EXPECT_EQ(colorOf(PictureSet::MenuIcons, "New"), k_blue);
    EXPECT_EQ(sizeOf(PictureSet::ToolbarIcons, "New"), 48);
    EXPECT_EQ(colorOf(PictureSet::ToolbarIcons, "New"), k_grey);
}

TEST_F(ThemesTest, MissingBrokenAndOversizedPicturesKeepTheirSlots) {
    const QImage builtInAdd = picture(PictureSet::MenuIcons, "Add").toImage();
    const QImage builtInExit = picture(PictureSet::MenuIcons, "Exit").toImage();
    const QImage builtInHelp = picture(PictureSet::MenuIcons, "Help").toImage();
    const QImage builtInWeb = picture(PictureSet::MenuIcons, "Web").toImage();
    addTheme("t", {{"theme.cfg", "[Icons]\r\nAdd=gone\r\nExit=broken\r\nHelp=big\r\n"
                                 "Web=bomb\r\nNew=new\r\n"},
                   {"broken_16.png", "not a png"},
                   {"big_16.png", png(2000, k_red)},
                   {"bomb_16.png", png(16, k_red) + std::string(1u << 20, '\0'), true, 100},
                   {"new_16.png", png(16, k_blue)}});
    load("t");
    EXPECT_EQ(picture(PictureSet::MenuIcons, "Add").toImage(), builtInAdd);
    EXPECT_EQ(picture(PictureSet::MenuIcons, "Exit").toImage(), builtInExit);
    EXPECT_EQ(picture(PictureSet::MenuIcons, "Help").toImage(), builtInHelp);
    EXPECT_EQ(picture(PictureSet::MenuIcons, "Web").toImage(), builtInWeb);
    EXPECT_EQ(colorOf(PictureSet::MenuIcons, "New"), k_blue);
}

TEST_F(ThemesTest, KeyThatPrefixesAnotherTakesTheFirstLine) {
    addTheme("t", {{"theme.cfg", "[Icons]\r\nAddX=red\r\nAdd=blue\r\n"},
                   {"red_16.png", png(16, k_red)},
                   {"blue_16.png", png(16, k_blue)}});
    load("t");
    EXPECT_EQ(colorOf(PictureSet::MenuIcons, "Add"), k_red);
}

TEST_F(ThemesTest, DeletedThemeIsReplacedByTheLastFoundAndStored) {
    addTheme("alpha", {{"theme.cfg", "[Icons]\r\nNew=a\r\n"}, {"a_16.png", png(16, k_red)}});
    addTheme("beta", {{"theme.cfg", "[Icons]\r\nNew=b\r\n"}, {"b_16.png", png(16, k_green)}});
    load("deleted");
    EXPECT_EQ(m_settings.uiTheme, "beta");
    EXPECT_EQ(colorOf(PictureSet::MenuIcons, "New"), k_green);
}

TEST_F(ThemesTest, NoThemesLeaveTheSettingAndThePicturesAlone) {
    const QImage builtIn = picture(PictureSet::MenuIcons, "New").toImage();
    load("handdrawn");
    EXPECT_EQ(m_settings.uiTheme, "handdrawn");
    EXPECT_EQ(picture(PictureSet::MenuIcons, "New").toImage(), builtIn);
}

TEST_F(ThemesTest, KeyNamingAPathIsNotFollowed) {
    addTheme("only", {{"theme.cfg", "[Icons]\r\nNew=n\r\n"}, {"n_16.png", png(16, k_red)}});
    test::writeFile(m_dir.file("outside.zip"), makeZip({{"theme.cfg", "[Icons]\r\nNew=n\r\n"},
                                                        {"n_16.png", png(16, k_blue)}}));
    load("../outside");
    EXPECT_EQ(m_settings.uiTheme, "only");
    EXPECT_EQ(colorOf(PictureSet::MenuIcons, "New"), k_red);
}

TEST_F(ThemesTest, OnlyTheSwitchedOnSetsAreLoaded) {
    addTheme("t", {{"theme.cfg", "[Buttons]\r\nConvert=c\r\n[Icons]\r\nNew=n\r\n"},
                   {"c_16.png", png(16, k_red)},
                   {"n_16.png", png(16, k_green)},
                   {"n_64.png", png(64, k_blue)}});
    m_settings.uiSize = 4;
    load("t", false, false, true);
    EXPECT_EQ(sizeOf(PictureSet::Buttons, "Convert"), 64); // still the built-in button
    EXPECT_NE(colorOf(PictureSet::MenuIcons, "New"), k_green);
    EXPECT_EQ(colorOf(PictureSet::ToolbarIcons, "New"), k_blue);
}

TEST_F(ThemesTest, ScansBesideTheProgramThenTheInstalledDataFolder) {
    const std::string program = base::programFolder();
    const std::vector<std::string> folders = themeFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], program + "gfx/");
    const std::filesystem::path installed = std::filesystem::weakly_canonical(
        std::filesystem::path(program) / "../share/kestrelix/gfx");
    EXPECT_EQ(folders[1], installed.string() + "/");
}

TEST_F(ThemesTest, DefaultThemeIsBuiltBesideTheProgram) {
    const std::string folder = std::string(KX_BINARY_DIR) + "/core/gfx/";
    const auto themes = listThemesIn({folder});
    ASSERT_EQ(themes.size(), 1u);
    EXPECT_EQ(themes[0].key, "handdrawn");
    EXPECT_EQ(themes[0].displayName, "Hand-drawn");
    m_settings.uiTheme = "handdrawn";
    for (int uiSize = 0; uiSize <= 4; ++uiSize) {
        m_settings.uiSize = uiSize;
        bindBuiltInPictures();
        loadThemePictures(m_settings, themes, true, true, true);
        const int pixels = toolbarIconPixels(uiSize);
        for (const std::string& name : pictureNames(PictureSet::ToolbarIcons))
            EXPECT_EQ(sizeOf(PictureSet::ToolbarIcons, name), pixels) << name;
    }
    EXPECT_EQ(sizeOf(PictureSet::Buttons, "Convert"), 64);
}

} // namespace
} // namespace kx::ui
