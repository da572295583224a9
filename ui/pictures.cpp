#include "ui/pictures.h"

#include "base/text.h"
#include "gfx/builtin_pictures.h"

#include <QGuiApplication>
#include <QString>

#include <map>

namespace kx::ui {

namespace {

const std::vector<std::string> k_buttonNames = {"Convert", "InFiles", "InFolder"};
const std::vector<std::string> k_iconNames = {"New",
                                              "Add",
                                              "InFiles",
                                              "InFolder",
                                              "OutFolder",
                                              "OutFormat",
                                              "FavFolder",
                                              "ImportFiles",
                                              "ExportFiles",
                                              "Exit",
                                              "Copy",
                                              "Delete",
                                              "SelectAll",
                                              "Convert",
                                              "Error",
                                              "Preferences",
                                              "CustomConverter",
                                              "Help",
                                              "Email",
                                              "Web",
                                              "Updates",
                                              "About"};

using Slots = std::map<std::string, QPixmap, std::less<>>;

Slots& slotsOf(PictureSet set) {
    static Slots buttons, menu, toolbar;
    switch (set) {
    case PictureSet::Buttons:
        return buttons;
    case PictureSet::MenuIcons:
        return menu;
    case PictureSet::ToolbarIcons:
        break;
    }
    return toolbar;
}

bool g_anyBound = false;

// The built-in pictures are compiled in as Qt resources: every icon at 16 pixels under its
// lower-case name, the Convert button at 64 pixels, each also at twice the size as
// "name@2x.png".
QString resourceOf(std::string_view stem, int scale) {
    const QString suffix = scale == 1 ? QStringLiteral(".png") : QStringLiteral("@2x.png");
    return QStringLiteral(":/builtin/") + QString::fromStdString(std::string(stem)) + suffix;
}

QPixmap builtInPicture(std::string_view stem) {
    const int scale = pictureScale();
    QPixmap pixmap(resourceOf(stem, scale), "PNG");
    if (pixmap.isNull())
        return QPixmap(resourceOf(stem, 1), "PNG");
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

std::string stemOf(PictureSet set, std::string_view name) {
    return set == PictureSet::Buttons && name == "Convert" ? "convert_button"
                                                           : base::lowerCase(name);
}

} // namespace

const std::vector<std::string>& pictureNames(PictureSet set) {
    return set == PictureSet::Buttons ? k_buttonNames : k_iconNames;
}

void bindBuiltInPictures() {
    gfx::registerBuiltInPictures();
    for (PictureSet set : {PictureSet::Buttons, PictureSet::MenuIcons, PictureSet::ToolbarIcons}) {
        Slots& bound = slotsOf(set);
        bound.clear();
        for (const std::string& name : pictureNames(set))
            bound[name] = builtInPicture(stemOf(set, name));
    }
    g_anyBound = true;
}

QPixmap picture(PictureSet set, std::string_view name) {
    if (!g_anyBound)
        bindBuiltInPictures();
    const Slots& bound = slotsOf(set);
    const auto found = bound.find(name);
    return found == bound.end() ? QPixmap() : found->second;
}

QIcon pictureIcon(PictureSet set, std::string_view name) {
    return QIcon(picture(set, name));
}

void setPicture(PictureSet set, std::string_view name, const QPixmap& pixmap) {
    if (!g_anyBound)
        bindBuiltInPictures();
    Slots& bound = slotsOf(set);
    if (const auto found = bound.find(name); found != bound.end())
        found->second = pixmap;
}

QPixmap aboutBanner() {
    gfx::registerBuiltInPictures();
    return builtInPicture("about_banner");
}

int pictureScale() {
    return qApp && qApp->devicePixelRatio() > 1.0 ? 2 : 1;
}

int toolbarIconPixels(int uiSize) {
    static constexpr int k_pixels[] = {16, 24, 32, 48, 64};
    return uiSize >= 0 && uiSize <= 4 ? k_pixels[uiSize] : 0;
}

} // namespace kx::ui
