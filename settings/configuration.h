#pragma once

#include "settings/settings.h"
#include "settings/settings_file.h"

#include <string>

namespace kx::settings {

// "$XDG_CONFIG_HOME/Kestrelix/quorvant/config.ini" (or under ~/.config when that variable is
// unset or not an absolute path), creating the folders when missing; failures to create them
// are ignored. Main thread.
std::string configurationPath();

// Reads `path` into `settings`. When it cannot be opened the window-mode defaults apply
// (centred on `desktop`); otherwise each missing key takes its own default and older layouts
// are brought up to date.
void loadConfiguration(Settings& settings, const std::string& path, DesktopSize desktop = {});

// Fills `settings` from an already parsed configuration file: every key with its own default
// (`CFG` 0, `X` and `Y` 100, otherwise the window-mode defaults), then the updates of older
// layouts by the version read from `CFG`.
void readConfiguration(Settings& settings, const SettingsFile& file);

// Writes `settings` to `path` in the fixed key order, through a temporary file beside it.
// Returns false, leaving any previous file intact, when it cannot be written.
bool saveConfiguration(const Settings& settings, const std::string& path);

// The exact bytes `saveConfiguration` writes: `CFG` is always 19, the `Window` entries only
// while `Save Window Position` is 1, and the keys of a format only while it is in the input
// or output format list.
std::string serializeConfiguration(const Settings& settings);

} // namespace kx::settings
