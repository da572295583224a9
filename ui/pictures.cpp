#include "ui/pictures.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

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

// Stand-in pictures from the desktop style until the program carries drawn ones.
QStyle::StandardPixmap standardPictureOf(std::string_view name) {
    static const std::map<std::string_view, QStyle::StandardPixmap> k_map = {
        {"New", QStyle::SP_FileIcon},
        {"Add", QStyle::SP_DialogOpenButton},
        {"InFiles", QStyle::SP_FileIcon},
        {"InFolder", QStyle::SP_DirOpenIcon},
        {"OutFolder", QStyle::SP_DirIcon},
        {"OutFormat", QStyle::SP_FileDialogDetailedView},
        {"FavFolder", QStyle::SP_DirIcon},
        {"ImportFiles", QStyle::SP_ArrowDown},
        {"ExportFiles", QStyle::SP_ArrowUp},
        {"Exit", QStyle::SP_DialogCloseButton},
        {"Copy", QStyle::SP_FileIcon},
        {"Delete", QStyle::SP_TrashIcon},
        {"SelectAll", QStyle::SP_DialogApplyButton},
        {"Convert", QStyle::SP_MediaPlay},
        {"Error", QStyle::SP_MessageBoxCritical},
        {"Preferences", QStyle::SP_FileDialogDetailedView},
        {"CustomConverter", QStyle::SP_FileDialogContentsView},
        {"Help", QStyle::SP_DialogHelpButton},
        {"Email", QStyle::SP_MessageBoxInformation},
        {"Web", QStyle::SP_DriveNetIcon},
        {"Updates", QStyle::SP_BrowserReload},
        {"About", QStyle::SP_MessageBoxInformation},
    };
    const auto found = k_map.find(name);
    return found == k_map.end() ? QStyle::SP_FileIcon : found->second;
}

QPixmap builtInPicture(PictureSet set, std::string_view name) {
    const int pixels = set == PictureSet::Buttons && name == "Convert" ? 64 : 16;
    const QStyle* style = QApplication::style();
    if (!style)
        return QPixmap(pixels, pixels);
    return style->standardIcon(standardPictureOf(name)).pixmap(pixels, pixels);
}

} // namespace

const std::vector<std::string>& pictureNames(PictureSet set) {
    return set == PictureSet::Buttons ? k_buttonNames : k_iconNames;
}

void bindBuiltInPictures() {
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
    QPixmap banner(360, 40);
    banner.fill(QColor(0x2b, 0x4c, 0x7e));
    QPainter painter(&banner);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPointSize(14);
    painter.setFont(font);
    painter.drawText(banner.rect().adjusted(12, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     "Kestrelix TIFF to BMP");
    return banner;
}

int toolbarIconPixels(int uiSize) {
    static constexpr int k_pixels[] = {16, 24, 32, 48, 64};
    return uiSize >= 0 && uiSize <= 4 ? k_pixels[uiSize] : 0;
}

} // namespace kx::ui
