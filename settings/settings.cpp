#include "settings/settings.h"

#include "base/version.h"

#include <ctime>

namespace kx::settings {

namespace {

constexpr int k_windowWidth = 510;
constexpr int k_windowHeight = 260;
constexpr int k_uncentredPosition = 100;
constexpr const char* k_colourChoices =
    "000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF";

int centred(int desktop, int window) {
    return window < desktop ? (desktop - window) / 2 : k_uncentredPosition;
}

} // namespace

const std::vector<std::string>& inputFormatList() {
    static const std::vector<std::string> list{"tiff"};
    return list;
}

const std::vector<std::string>& outputFormatList() {
    static const std::vector<std::string> list{"bmp"};
    return list;
}

const std::string& noticeLine() {
    static const std::string notice(base::k_notice);
    return notice;
}

Date currentDate() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<Date>(now + local.tm_gmtoff);
}

Settings& globalSettings() {
    static Settings settings;
    return settings;
}

void applyDefaults(Settings& s, bool commandLineMode, DesktopSize desktop) {
    // Starting from a value-initialised record clears every field the steps below do not
    // name, exactly as the input and output groups require.
    s = Settings{};
    const Date today = currentDate();

    s.cfg = 19;
    s.language = "en";
    s.updateRange = 2;
    s.updateDate = today;
    s.saveWindowPosition = 1;
    s.isMaximized = 0;
    s.width = k_windowWidth;
    s.height = k_windowHeight;
    s.x = centred(desktop.width, k_windowWidth);
    s.y = centred(desktop.height, k_windowHeight);

    s.uiTheme = "handdrawn";
    s.uiSize = 2;

    s.inputFormat = inputFormatList().front();
    s.rawToneMapping = 2;

    s.outputFormat = outputFormatList().front();
    s.jpgQuality = 95;
    s.webpQuality = 100;

    s.imageRotationBackColor = "000000";
    s.keepAspectRatio = commandLineMode ? 0 : 1;
    s.imageResizeAlgorithm = 3;

    s.imageGamma = 1.0f;

    s.solidLeftColor = s.solidRightColor = s.solidTopColor = s.solidBottomColor = "000000";
    s.solidOpacity = 255;

    s.text = noticeLine();
    s.fonts = "Arial,Tahoma,Verdana";
    s.font = "Arial";
    s.fontSize = 14;
    s.fontColors = k_colourChoices;
    s.fontColor = "FFFFFF";
    s.textOpacity = 255;
    s.backColors = k_colourChoices;
    s.backColor = "000000";
    s.backOpacity = 1;
    s.textPosition = 8;
    s.textXOffset = 10;
    s.textYOffset = 10;
    s.textScale = 10;
    s.imageOpacity = 255;
    s.imagePosition = 8;
    s.imageXOffset = 10;
    s.imageYOffset = 10;
    s.imageScale = 10;

    s.filenameMask = "%filename%.%ext%";
    s.customTimestamp = today;
    s.outFoldersHistory = 1;
    s.outFoldersNumber = 5;
    s.keepSubfolders = 1;
}

} // namespace kx::settings
