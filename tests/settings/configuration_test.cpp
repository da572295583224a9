#include "settings/configuration.h"
#include "settings/setting_keys.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <sys/resource.h>

namespace kx::settings {
namespace {

using kx::test::readFile;
using kx::test::TempDir;
using kx::test::writeFile;

constexpr Date k_fixedDate = 1700000000;

Settings fixedDefaults() {
    Settings s;
    applyDefaults(s, false, {1920, 1080});
    s.updateDate = k_fixedDate;
    s.customTimestamp = k_fixedDate;
    return s;
}

Settings loadText(const std::string& bytes) {
    Settings s;
    readConfiguration(s, SettingsFile::parse(bytes));
    return s;
}

TEST(SerializeConfiguration, WritesTheDefaultsByteForByte) {
    const std::string colours = "000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF";
    const std::string expected = "\xEF\xBB\xBF\r\n"
                                 "[General]\r\n"
                                 "CFG = 19\r\n"
                                 "Language = en\r\n"
                                 "Update Range = 2\r\n"
                                 "Update Date = 1700000000\r\n"
                                 "Save Window Position = 1\r\n"
                                 "; \r\n"
                                 "[Window]\r\n"
                                 "IsMaximized = 0\r\n"
                                 "Width = 510\r\n"
                                 "Height = 260\r\n"
                                 "X = 705\r\n"
                                 "Y = 410\r\n"
                                 "; \r\n"
                                 "[Interface]\r\n"
                                 "UI Theme = handdrawn\r\n"
                                 "UI Size = 2\r\n"
                                 "; \r\n"
                                 "[Input]\r\n"
                                 "Format = tiff\r\n"
                                 "TIFF Frame Loading = 0\r\n"
                                 "; \r\n"
                                 "[Output]\r\n"
                                 "Format = bmp\r\n"
                                 "BMP BPP = 0\r\n"
                                 "BMP Compression = 0\r\n"
                                 "BMP Color Table = 0\r\n"
                                 "; \r\n"
                                 "[Transform]\r\n"
                                 "Do Image Rotation = 0\r\n"
                                 "Image Rotation Type = 0\r\n"
                                 "Image Rotation = 0\r\n"
                                 "Image Rotation Back Color = 000000\r\n"
                                 "Do Image Resize = 0\r\n"
                                 "Image Width = 0\r\n"
                                 "Image Width Unit = 0\r\n"
                                 "Image Height = 0\r\n"
                                 "Image Height Unit = 0\r\n"
                                 "Keep Aspect Ratio = 1\r\n"
                                 "Image Resize Type = 0\r\n"
                                 "Image Resize Algorithm = 3\r\n"
                                 "Do Image Flip Horizontal = 0\r\n"
                                 "Do Image Flip Vertical = 0\r\n"
                                 "; \r\n"
                                 "[Adjustment]\r\n"
                                 "Do Image Color Correction = 0\r\n"
                                 "Image Brightness = 0\r\n"
                                 "Image Contrast = 0\r\n"
                                 "Image Gamma = 1.000000\r\n"
                                 "Image Invert = 0\r\n"
                                 "Do Image Greyscale = 0\r\n"
                                 "Do Image Threshold = 0\r\n"
                                 "Image Threshold = 0\r\n"
                                 "Do Image Dither = 0\r\n"
                                 "Image Dither Algorithm = 0\r\n"
                                 "; \r\n"
                                 "[Frame]\r\n"
                                 "Do Frame = 0\r\n"
                                 "Solid Left = 0\r\n"
                                 "Solid Right = 0\r\n"
                                 "Solid Top = 0\r\n"
                                 "Solid Bottom = 0\r\n"
                                 "Solid Left Color = 000000\r\n"
                                 "Solid Right Color = 000000\r\n"
                                 "Solid Top Color = 000000\r\n"
                                 "Solid Bottom Color = 000000\r\n"
                                 "Solid Opacity = 255\r\n"
                                 "; \r\n"
                                 "[Watermark]\r\n"
                                 "Do Watermark = 0\r\n"
                                 "Text = " +
                                 noticeLine() +
                                 "\r\n"
                                 "Fonts = Arial,Tahoma,Verdana\r\n"
                                 "Font = Arial\r\n"
                                 "Font Size = 14\r\n"
                                 "Font Leading = 0\r\n"
                                 "Font Colors = " +
                                 colours +
                                 "\r\n"
                                 "Font Color = FFFFFF\r\n"
                                 "Font Style = 0\r\n"
                                 "Font Effect = 0\r\n"
                                 "Text Antialiasing = 0\r\n"
                                 "Text Alignment = 0\r\n"
                                 "Text Padding = 0\r\n"
                                 "Text Opacity = 255\r\n"
                                 "Back Colors = " +
                                 colours +
                                 "\r\n"
                                 "Back Color = 000000\r\n"
                                 "Back Opacity = 1\r\n"
                                 "Text Boundary = 0\r\n"
                                 "Text Position = 8\r\n"
                                 "Text X Offset = 10\r\n"
                                 "Text Y Offset = 10\r\n"
                                 "Text Rotation = 0\r\n"
                                 "Text Size = 0\r\n"
                                 "Text Scale = 10\r\n"
                                 "Image = \r\n"
                                 "Image Greyscale = 0\r\n"
                                 "Image Opacity = 255\r\n"
                                 "Image Boundary = 0\r\n"
                                 "Image Position = 8\r\n"
                                 "Image X Offset = 10\r\n"
                                 "Image Y Offset = 10\r\n"
                                 "Image Rotation = 0\r\n"
                                 "Image Size = 0\r\n"
                                 "Image Scale = 10\r\n"
                                 "; \r\n"
                                 "[Advanced]\r\n"
                                 "Filename Mask = %filename%.%ext%\r\n"
                                 "File Timestamp = 0\r\n"
                                 "Custom Timestamp = 1700000000\r\n"
                                 "Out Folders History = 1\r\n"
                                 "Out Folders Number = 5\r\n"
                                 "Keep Subfolders = 1\r\n"
                                 "; \r\n"
                                 "[File]\r\n"
                                 "Recent Out Folders = \r\n"
                                 "Recent Files = \r\n"
                                 "; \r\n"
                                 "[Privacy]\r\n"
                                 "Clean Recent Files = 0\r\n"
                                 "; \r\n";
    EXPECT_EQ(serializeConfiguration(fixedDefaults()), expected);

    TempDir dir;
    ASSERT_TRUE(saveConfiguration(fixedDefaults(), dir.file("config.ini")));
    EXPECT_EQ(readFile(dir.file("config.ini")), expected);
}

TEST(SerializeConfiguration, WindowGroupIsEmptyUnlessWindowPositionsAreSaved) {
    Settings s = fixedDefaults();
    for (int8_t flag : {0, 2, -56}) {
        s.saveWindowPosition = flag;
        const std::string text = serializeConfiguration(s);
        EXPECT_NE(text.find("Save Window Position = " + std::to_string(flag) +
                            "\r\n; \r\n[Window]\r\n; \r\n[Interface]\r\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("\r\nWidth ="), std::string::npos);
    }
}

TEST(SerializeConfiguration, AlwaysWritesLayoutVersion19AndSmallFieldsSigned) {
    Settings s = fixedDefaults();
    s.cfg = 3;
    s.doWatermark = static_cast<int8_t>(200);
    s.ddsLoadAs = 2;
    s.pngInterlaced = 1;
    const std::string text = serializeConfiguration(s);
    EXPECT_NE(text.find("CFG = 19\r\n"), std::string::npos);
    EXPECT_NE(text.find("Do Watermark = -56\r\n"), std::string::npos);
    // Formats this build does not offer keep their values out of the file.
    EXPECT_EQ(text.find("DDS Load As"), std::string::npos);
    EXPECT_EQ(text.find("PNG Interlaced"), std::string::npos);
}

TEST(LoadConfiguration, MissingFileMeansWindowDefaultsCentredOnTheDesktop) {
    TempDir dir;
    Settings s;
    s.fontSize = 99;
    loadConfiguration(s, dir.file("absent.ini"), {1920, 1080});
    EXPECT_EQ(s.cfg, 19);
    EXPECT_EQ(s.x, 705);
    EXPECT_EQ(s.y, 410);
    EXPECT_EQ(s.keepAspectRatio, 1);
    EXPECT_EQ(s.fontSize, 14);
}

TEST(LoadConfiguration, MissingKeysTakeTheirOwnDefaults) {
    TempDir dir;
    writeFile(dir.file("config.ini"), "\xEF\xBB\xBF\r\n[General]\r\nLanguage = en\r\n");
    Settings s;
    loadConfiguration(s, dir.file("config.ini"), {1920, 1080});
    Settings expected;
    applyDefaults(expected, false, {});
    expected.cfg = 0;
    expected.updateDate = s.updateDate;
    expected.customTimestamp = s.customTimestamp;
    expected.filenameMask = "%filename%.%ext%";
    EXPECT_EQ(s, expected);
    EXPECT_EQ(s.x, 100);
    EXPECT_EQ(s.y, 100);
    EXPECT_EQ(s.width, 510);
    EXPECT_EQ(s.height, 260);
    EXPECT_EQ(s.keepAspectRatio, 1);
}

TEST(LoadConfiguration, ReadsValuesByTheSyntaxRules) {
    const Settings s = loadText("Font Size = 1\n"
                                "[Watermark\n"
                                "font size=20\n"
                                "FONT SIZE = 30\n"
                                "Text = caf\xE9 \t\n"
                                "Text Padding = 20px\n"
                                "Text Scale = abc\n"
                                "Text Position = 200\n"
                                "Unknown Key = 5\n"
                                "[Adjustment]\n"
                                "Image Gamma = -INFINITY\n"
                                "[Transform]\n"
                                "Image Rotation = 90\n"
                                "[Watermark]\n"
                                "Image Rotation = 45\n"
                                "[Input]\r"
                                "Format = tif\r"
                                "DDS Load As = 2\r"
                                "[Output]\r"
                                "Format = bmp\r");
    EXPECT_EQ(s.fontSize, 20);
    EXPECT_EQ(s.text, "caf\xC3\xA9");
    EXPECT_EQ(s.textPadding, 20);
    EXPECT_EQ(s.textScale, 0);
    EXPECT_EQ(s.textPosition, -56);
    EXPECT_EQ(s.imageGamma, -INFINITY);
    EXPECT_EQ(s.imageRotation, 90);
    EXPECT_EQ(s.watermarkImageRotation, 0);
    EXPECT_EQ(s.inputFormat, "tif");
    EXPECT_EQ(s.outputFormat, "bmp");
    EXPECT_EQ(s.ddsLoadAs, 2);

    EXPECT_NE(serializeConfiguration(s).find("Text Position = -56\r\n"), std::string::npos);
}

TEST(LoadConfiguration, BringsOlderLayoutsUpToDate) {
    const std::string oldFile = "[Input]\n"
                                "RAW Load As = 1\n"
                                "PSD Color Model = 2\n"
                                "[Output]\n"
                                "TIFF Color Model = 1\n"
                                "[Advanced]\n"
                                "Filename Mask = %filename%\n";
    Settings s = loadText(oldFile);
    EXPECT_EQ(s.cfg, 0);
    EXPECT_EQ(s.filenameMask, "%filename%.%ext%");
    EXPECT_EQ(s.rawLoadAs, 3);
    EXPECT_EQ(s.psdColorMode, 2);
    EXPECT_EQ(s.tiffColorMode, 1);

    s = loadText("[General]\nCFG = 11\n" + oldFile);
    EXPECT_EQ(s.filenameMask, "%filename%");
    EXPECT_EQ(s.rawLoadAs, 3);

    s = loadText("[General]\nCFG = 14\n" + oldFile);
    EXPECT_EQ(s.rawLoadAs, 1);
    EXPECT_EQ(s.psdColorMode, 2);

    s = loadText("[General]\nCFG = 19\n" + oldFile);
    EXPECT_EQ(s.psdColorMode, 0);
    EXPECT_EQ(s.tiffColorMode, 0);

    // A zero old key leaves the new one alone; the migration never overflows.
    s = loadText("[Input]\nPSD Color Mode = 1\nPSD Color Model = 0\nRAW Load As = 2147483647\n"
                 "[Advanced]\nFilename Mask = x%ext%y\n");
    EXPECT_EQ(s.psdColorMode, 1);
    EXPECT_EQ(s.rawLoadAs, INT32_MAX);
    EXPECT_EQ(s.filenameMask, "x%ext%y");
}

TEST(LoadConfiguration, FirstGroupAndKeyWinAndCrOnlyFilesRead) {
    const Settings s = loadText("[General]\rCFG = 19\r[Frame]\rSolid Left = 4\rsolid left = 5\r"
                                "[FRAME]\rSolid Right = 6\r");
    EXPECT_EQ(s.solidLeft, 4);
    EXPECT_EQ(s.solidRight, 0);
    EXPECT_EQ(s.cfg, 19);
}

bool isWritten(const SettingKey& key) {
    const std::string format = key.formatKey;
    const auto& list =
        std::string_view(key.group) == "Input" ? inputFormatList() : outputFormatList();
    return format.empty() || std::find(list.begin(), list.end(), format) != list.end();
}

// Gives every written key a value of its own, different from its default.
Settings everyWrittenFieldChanged() {
    Settings s = fixedDefaults();
    int n = 0;
    for (const SettingKey& key : settingKeys()) {
        if (!isWritten(key))
            continue;
        ++n;
        switch (key.kind) {
        case Kind::Integer:
        case Kind::Date:
            s.*key.integer = -1000 * n - 7;
            break;
        case Kind::Small:
            s.*key.small = static_cast<int8_t>(n + 20);
            break;
        case Kind::Real:
            s.*key.real = 2.5f + static_cast<float>(n);
            break;
        case Kind::Text:
            s.*key.text = "%filename% \xC3\xA9t\xC3\xA9\t/" + std::to_string(n) + " = x";
            break;
        }
    }
    s.cfg = 19;
    s.saveWindowPosition = 1;
    return s;
}

// Names the keys whose fields differ, which a plain record comparison cannot show.
std::string differingKeys(const Settings& a, const Settings& b) {
    std::string names;
    for (const SettingKey& key : settingKeys()) {
        const bool same = key.kind == Kind::Text    ? a.*key.text == b.*key.text
                          : key.kind == Kind::Small ? a.*key.small == b.*key.small
                          : key.kind == Kind::Real  ? a.*key.real == b.*key.real
                                                    : a.*key.integer == b.*key.integer;
        if (!same)
            names += std::string(key.group) + "/" + key.key + " ";
    }
    return names;
}

TEST(SaveConfiguration, SavedRecordLoadsBackEqual) {
    TempDir dir;
    const std::string path = dir.file("config.ini");
    for (const Settings& original : {fixedDefaults(), everyWrittenFieldChanged()}) {
        ASSERT_TRUE(saveConfiguration(original, path));
        Settings loaded;
        loadConfiguration(loaded, path, {1920, 1080});
        EXPECT_EQ(differingKeys(loaded, original), "");
        EXPECT_TRUE(loaded == original);
        EXPECT_EQ(serializeConfiguration(loaded), readFile(path));
    }
}

TEST(SaveConfiguration, FailedWriteLeavesThePreviousFile) {
    TempDir dir;
    const std::string path = dir.file("config.ini");
    ASSERT_TRUE(saveConfiguration(fixedDefaults(), path));
    const std::string previous = readFile(path);

    EXPECT_FALSE(saveConfiguration(fixedDefaults(), dir.file("no/such/folder/config.ini")));

    Settings big = everyWrittenFieldChanged();
    big.recentFiles = std::string(200000, 'r');
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit saved = limit;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written = saveConfiguration(big, path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(path), previous);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

class EnvironmentOverride {
public:
    EnvironmentOverride(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvironmentOverride() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(ConfigurationPath, FollowsXdgConfigHomeElseHomeAndCreatesTheFolders) {
    TempDir dir;
    {
        EnvironmentOverride xdg("XDG_CONFIG_HOME", (dir.folder() + "xdg/").c_str());
        EXPECT_EQ(configurationPath(), dir.folder() + "xdg/Kestrelix/quorvant/config.ini");
        EXPECT_TRUE(std::filesystem::is_directory(dir.folder() + "xdg/Kestrelix/quorvant"));
    }
    for (const char* xdgValue : {static_cast<const char*>(nullptr), "", "relative/path"}) {
        EnvironmentOverride xdg("XDG_CONFIG_HOME", xdgValue);
        EnvironmentOverride home("HOME", dir.path().c_str());
        EXPECT_EQ(configurationPath(), dir.folder() + ".config/Kestrelix/quorvant/config.ini");
        EXPECT_TRUE(std::filesystem::is_directory(dir.folder() + ".config/Kestrelix/quorvant"));
    }
}

} // namespace
} // namespace kx::settings
