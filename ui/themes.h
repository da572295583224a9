#pragma once

#include "settings/settings.h"

#include <string>
#include <vector>

namespace kx::ui {

// One theme archive found by the scan: its key (the file name without ".zip"), the name it
// gives itself in theme.cfg, and where the archive lies.
struct ThemeEntry {
    std::string key;
    std::string displayName;
    std::string path;
};

// The folders scanned for theme archives, in order: "gfx/" beside the program, then the
// installed data folder "../share/kestrelix/gfx/" relative to the program's folder. Each
// ends in "/"; the second is left out when it is the first.
std::vector<std::string> themeFolders();

// Scans themeFolders() for "*.zip" files. See listThemesIn().
std::vector<ThemeEntry> listThemes();

// Scans `folders` for regular "*.zip" files, in name order within each folder; a key found
// in an earlier folder hides the same key later. The display name is the Name value of the
// [Theme] section in the first 255 bytes of the archive's theme.cfg (empty when missing),
// or the key itself when the archive is empty or does not open. Missing folders give
// nothing.
std::vector<ThemeEntry> listThemesIn(const std::vector<std::string>& folders);

// Loads the theme named by settings.uiTheme into the picture slots of ui/pictures.h, for the
// sets that are switched on (buttons and menu icons at 16 pixels, toolbar icons at the
// settings.uiSize icon size). When that theme's archive does not exist and `themes` is not
// empty, the last theme of `themes` is loaded instead and its key stored in settings.uiTheme.
// Nothing is reported: a missing or unreadable archive loads nothing, and a picture that the
// theme lacks or that does not decode keeps the picture its slot had. Needs a
// QGuiApplication; main thread only.
void loadThemePictures(settings::Settings& settings, const std::vector<ThemeEntry>& themes,
                       bool buttons, bool menuIcons, bool toolbarIcons);

} // namespace kx::ui
