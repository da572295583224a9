#pragma once

#include "engine/job_state.h"
#include "settings/settings.h"

#include <string>
#include <string_view>
#include <vector>

namespace kx::engine {

// The nineteen mask tokens in the order they are expanded.
const std::vector<std::string_view>& maskTokens();

// `text` with every occurrence of `token` (matched without regard to case) replaced by its
// value for the current job and page; other text keeps its case.
std::string replaceMaskToken(std::string text, std::string_view token, const JobState& job);

// The output file name (no folder) from `Filename Mask`, lower-cased, "%filename%.%ext%"
// when empty.
std::string expandFilenameMask(const settings::Settings& settings, const JobState& job);

// Output folder + subfolder (when `Keep Subfolders` is on) + the expanded name.
std::string outputPathForPage(const settings::Settings& settings, const JobState& job);

// True when pages of a file with `pageCount` pages are saved with a "[n]" suffix: all pages
// are loaded, there is more than one, and the mask has no "%frame%".
bool needsPageSuffix(const settings::Settings& settings, int pageCount);

// `outputPath` with "[pageNumber]" inserted before the last (length of the format key + 1)
// characters.
std::string withPageSuffix(const std::string& outputPath, int pageNumber,
                           std::string_view outputFormatKey);

} // namespace kx::engine
