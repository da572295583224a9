#pragma once

#include "engine/job_state.h"
#include "settings/settings.h"

#include <FreeImage.h>

#include <string>
#include <string_view>

namespace kx::engine {

// FreeImage save flags of the output format `key` from its settings.
int computeSaveFlags(std::string_view key, const settings::Settings& settings);

// Writes `page` to `path` in the run's format with the run's flags, through a temporary file
// in the same folder that is renamed over `path` only when the write succeeded. 8-bit BMP
// with the exact colour table goes through the compact writer. False for a null page or any
// failure; nothing is left behind then.
bool savePage(FIBITMAP* page, const std::string& path, const JobState& job,
              const settings::Settings& settings);

// The compact 8-bit BMP of `page` (an 8-bit palette bitmap): its colour table holds only the
// entries up to the highest index used. `rle` selects 8-bit run-length coding. Empty on
// failure.
std::string compactBmpBytes(FIBITMAP* page, bool rle);

// Writes `bytes` to `path` through a temporary file renamed into place; false on failure,
// leaving no partial file and any previous file intact.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

} // namespace kx::engine
