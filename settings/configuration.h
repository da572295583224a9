#pragma once

#include "settings/settings.h"

#include <string>

namespace kx::settings {

// "$XDG_CONFIG_HOME/Kestrelix/quorvant/config.ini" (or under ~/.config), creating the two
// folders when missing; failures to create them are ignored.
std::string configurationPath();

// Reads `path` into `settings`. When it cannot be opened the window-mode defaults apply
// (centred on `desktop`); otherwise each missing key takes its own default and older layouts
// are brought up to date.
void loadConfiguration(Settings& settings, const std::string& path, DesktopSize desktop = {});

// Writes `settings` to `path` in the fixed key order. Returns false, leaving any previous
// file intact, when it cannot be written.
bool saveConfiguration(const Settings& settings, const std::string& path);

// The exact bytes `saveConfiguration` writes.
std::string serializeConfiguration(const Settings& settings);

} // namespace kx::settings
