#pragma once

#include <QIcon>
#include <QPixmap>

#include <string>
#include <string_view>
#include <vector>

namespace kx::ui {

// The three picture sets of the window: the Convert button, the menu icons and the toolbar
// icons. Every picture the window shows is looked up here by set and name, so a theme only
// has to replace the slots it provides.
enum class PictureSet { Buttons, MenuIcons, ToolbarIcons };

// The picture names of `set`, in the order of the image-name maps.
const std::vector<std::string>& pictureNames(PictureSet set);

// Binds every slot of every set to its built-in picture, dropping what a theme loaded.
// Needs a QGuiApplication. Main thread only.
void bindBuiltInPictures();

// The picture bound to `name` in `set`; a null pixmap for a name the set does not have.
// Binds the built-in pictures first when nothing is bound yet.
QPixmap picture(PictureSet set, std::string_view name);
QIcon pictureIcon(PictureSet set, std::string_view name);

// Replaces the picture of `name` in `set`; unknown names are ignored.
void setPicture(PictureSet set, std::string_view name, const QPixmap& pixmap);

// The 360 x 40 banner of the About window.
QPixmap aboutBanner();

// The scale the pictures are loaded for: 2 when a screen of the application has a device
// pixel ratio above 1 (QT_SCALE_FACTOR=2, a HiDPI screen), so that they stay sharp there;
// else 1. A picture loaded at scale 2 has twice the pixels and device pixel ratio 2.
int pictureScale();

// Toolbar icon size in pixels for the `UI Size` setting: 0..4 give 16, 24, 32, 48 and 64;
// any other value gives 0, meaning "leave the size as it is".
int toolbarIconPixels(int uiSize);

} // namespace kx::ui
