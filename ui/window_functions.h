#pragma once

#include "settings/settings.h"

namespace kx::ui {

// The window module (libkestrelix-window.so) holds everything built on Qt Widgets: the
// window run, the uninstall page and the screenshot mode. The program opens it only for
// those, so a console run never loads Widgets. The module keeps its own copies of the
// program's shared state, so each entry is handed the settings as the command line left
// them. None of its functions throws.
inline constexpr const char* k_windowModuleName = "libkestrelix-window.so";
inline constexpr const char* k_windowEntryName = "kx_window_functions";
inline constexpr int k_windowTableVersion = 2;

struct WindowFunctions {
    int version; // k_windowTableVersion of the build the module comes from
    // The window run titled `title`; a non-empty `inputFile` is opened once the window is up.
    // Later starts hand their files over through the local socket `handOverPath` (none when
    // empty).
    void (*runWindow)(const char* title, const char* inputFile, const char* handOverPath,
                      const settings::Settings* settings);
    // The -U mode.
    void (*runUninstall)(const char* title, const settings::Settings* settings);
    // The -T mode, writing its pictures into `folder` (the program's folder when empty).
    void (*runScreenshots)(const char* title, const char* folder,
                           const settings::Settings* settings);
};

} // namespace kx::ui
