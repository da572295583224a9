#pragma once

#include "settings/settings.h"

#include <string>
#include <vector>

namespace kx::ui {

// True when two folder paths name the same folder for the recent list: their upper-cased
// UTF-8 forms, without trailing slashes, have the same CRC-32, so paths that differ only in
// letter case or in a trailing "/" are one.
bool sameFolder(const std::string& a, const std::string& b);

// Puts `folder` first in `Recent Out Folders`, drops its other occurrences and keeps at most
// `Out Folders Number` entries. An empty folder changes nothing and returns false.
bool addRecentFolder(settings::Settings& settings, const std::string& folder);

// The entries of the output folder box: the first `Out Folders Number` fields of
// `Recent Out Folders`, trimmed, empty ones skipped, each ending with "/".
std::vector<std::string> recentFolderEntries(const settings::Settings& settings);

} // namespace kx::ui
