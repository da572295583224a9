#include "ui/themes.h"

#include "base/paths.h"
#include "engine/job_state.h"
#include "ui/pictures.h"
#include "ui/theme_archive.h"
#include "ui/theme_config.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kx::ui {

namespace fs = std::filesystem;

namespace {

// theme.cfg is read this far when only the theme's name is wanted.
constexpr std::size_t k_nameBytes = 255;
// Theme pictures are icons; anything larger is refused before it is decoded.
constexpr int k_maxPicturePixels = 512;

bool isRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

std::string displayNameOf(const fs::path& archivePath, const std::string& key) {
    ThemeArchive archive;
    if (!archive.openFile(archivePath.string()))
        return key;
    const auto config = archive.readEntryPrefix("theme.cfg", k_nameBytes);
    return config ? readThemeValue(*config, "Theme", "Name") : std::string();
}

// The archive of `key`: the one the scan found, else the first folder that holds it.
std::string archivePathOf(const std::string& key, const std::vector<ThemeEntry>& themes) {
    // A key is a file name; one that names a path could reach any archive on the machine.
    if (key.empty() || key.find('/') != std::string::npos || key == "." || key == "..")
        return {};
    for (const ThemeEntry& theme : themes) {
        if (theme.key == key && isRegularFile(theme.path))
            return theme.path;
    }
    for (const std::string& folder : themeFolders()) {
        const fs::path candidate = fs::path(folder) / (key + ".zip");
        if (isRegularFile(candidate))
            return candidate.string();
    }
    return {};
}

// Decodes `bytes` as a PNG picture; a null pixmap when it is not one or is too large.
QPixmap decodePicture(const std::string& bytes) {
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > k_maxPicturePixels || size.height() > k_maxPicturePixels)
        return {};
    const QImage image = reader.read();
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QPixmap readPicture(const ThemeArchive& archive, const std::string& entry) {
    if (!archive.hasEntry(entry))
        return {};
    const auto bytes = archive.readEntry(entry);
    return bytes ? decodePicture(*bytes) : QPixmap();
}

// The theme's picture `fileName` at `pixels`; on a scaled screen the larger one the theme has
// for it, else the plain one (which the screen then enlarges).
QPixmap themePicture(const ThemeArchive& archive, const std::string& fileName, int pixels) {
    if (const int scale = pictureScale(); scale > 1) {
        QPixmap sharp = readPicture(archive, scaledPictureFileName(fileName, pixels, scale));
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(scale);
            return sharp;
        }
    }
    return readPicture(archive, completePictureFileName(fileName, pixels));
}

void loadSet(const ThemeArchive& archive, const std::string& config, PictureSet set,
             std::string_view section, int pixels) {
    for (const std::string& name : pictureNames(set)) {
        const std::string fileName = readThemeValue(config, section, name);
        if (fileName.empty())
            continue;
        const QPixmap pixmap = themePicture(archive, fileName, pixels);
        if (!pixmap.isNull())
            setPicture(set, name, pixmap);
    }
}

} // namespace

std::vector<std::string> themeFolders() {
    const fs::path program = base::programFolder();
    std::vector<std::string> folders{(program / "gfx").string() + "/"};
    std::error_code error;
    const fs::path installed =
        fs::weakly_canonical(program / ".." / "share" / "kestrelix" / "gfx", error);
    if (!error) {
        const std::string second = installed.string() + "/";
        if (second != folders.front())
            folders.push_back(second);
    }
    return folders;
}

std::vector<ThemeEntry> listThemes() {
    return listThemesIn(themeFolders());
}

std::vector<ThemeEntry> listThemesIn(const std::vector<std::string>& folders) {
    std::vector<ThemeEntry> themes;
    for (const std::string& folder : folders) {
        std::error_code error;
        std::vector<fs::path> archives;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const fs::path& path = it->path();
            if (path.extension() == ".zip" && !path.stem().empty() && isRegularFile(path))
                archives.push_back(path);
        }
        std::sort(archives.begin(), archives.end());
        for (const fs::path& path : archives) {
            const std::string key = path.stem().string();
            const bool known =
                std::any_of(themes.begin(), themes.end(),
                            [&](const ThemeEntry& theme) { return theme.key == key; });
            if (!known)
                themes.push_back({key, displayNameOf(path, key), path.string()});
        }
    }
    return themes;
}

void loadThemePictures(settings::Settings& settings, const std::vector<ThemeEntry>& themes,
                       bool buttons, bool menuIcons, bool toolbarIcons) {
    std::string path = archivePathOf(settings.uiTheme, themes);
    if (path.empty() && !themes.empty()) {
        settings.uiTheme = themes.back().key;
        path = themes.back().path;
    }
    ThemeArchive archive;
    if (path.empty() || !archive.openFile(path))
        return;
    const auto configSize = archive.entries().find("theme.cfg");
    if (configSize == archive.entries().end())
        return;
    const auto config = archive.readEntry("theme.cfg");
    if (!config)
        return;

    const int toolbarPixels = toolbarIconPixels(settings.uiSize);
    if (buttons)
        loadSet(archive, *config, PictureSet::Buttons, "Buttons", 16);
    if (menuIcons)
        loadSet(archive, *config, PictureSet::MenuIcons, "Icons", 16);
    if (toolbarIcons)
        loadSet(archive, *config, PictureSet::ToolbarIcons, "Icons",
                toolbarPixels > 0 ? toolbarPixels : 16);
}

} // namespace kx::ui
