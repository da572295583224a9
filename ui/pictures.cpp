#include "ui/pictures.h"

#include "base/text.h"
#include "gfx/builtin_pictures.h"

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
// lower-case name, the Convert button at 64 pixels.
QString resourceOf(PictureSet set, std::string_view name) {
    if (set == PictureSet::Buttons && name == "Convert")
        return QStringLiteral(":/builtin/convert_button.png");
    return QStringLiteral(":/builtin/") + QString::fromStdString(base::lowerCase(name)) +
           QStringLiteral(".png");
}

QPixmap builtInPicture(PictureSet set, std::string_view name) {
    return QPixmap(resourceOf(set, name), "PNG");
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
            bound[name] = builtInPicture(set, name);
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
    return QPixmap(QStringLiteral(":/builtin/about_banner.png"), "PNG");
}

int toolbarIconPixels(int uiSize) {
    static constexpr int k_pixels[] = {16, 24, 32, 48, 64};
    return uiSize >= 0 && uiSize <= 4 ? k_pixels[uiSize] : 0;
}

} // namespace kx::ui
