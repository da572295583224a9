#pragma once

#include "engine/job_state.h"
#include "settings/settings.h"

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace kx::engine {

// Every function here reads only its arguments and the clock; any thread may call them.

// The nineteen mask tokens in the order they are expanded.
const std::vector<std::string_view>& maskTokens();

// `text` with every occurrence of `token` (matched without regard to case) replaced by its
// value for the current job and page; other text keeps its case.
std::string replaceMaskToken(std::string text, std::string_view token, const JobState& job);

// The same with the date and time tokens taken from `now` (local broken-down time), so that
// one name or text uses one reading of the clock. An unknown or empty token changes nothing.
std::string replaceMaskToken(std::string text, std::string_view token, const JobState& job,
                             const std::tm& now);

// The output file name (no folder) from `Filename Mask`, lower-cased, "%filename%.%ext%"
// when empty. Letter case is changed for UTF-8 text as a whole; a name that is not valid UTF-8
// has only its ASCII letters changed, so its other bytes survive.
std::string expandFilenameMask(const settings::Settings& settings, const JobState& job);

// Output folder + subfolder (when `Keep Subfolders` is on) + the expanded name.
std::string outputPathForPage(const settings::Settings& settings, const JobState& job);

// Why a page may not be written to `path`, or empty when it may: the path must stay inside
// `outputFolder` once ".." and symbolic links are resolved (a mask such as "../notes.txt"
// would otherwise write anywhere), and must not name the file being converted (a mask such
// as "%filename%.tif" without an output folder would replace it). Reads the file system.
std::string outputPathProblem(const std::string& path, const std::string& outputFolder,
                              const std::string& inputPath);

// True when pages of a file with `pageCount` pages are saved with a "[n]" suffix: all pages
// are loaded, there is more than one, and the mask has no "%frame%".
bool needsPageSuffix(const settings::Settings& settings, int pageCount);

// `outputPath` with "[pageNumber]" inserted before the last (length of the format key + 1)
// characters (UTF-8 characters, not bytes). The insertion never reaches into the folder part:
// a file name shorter than that gets the suffix in front of it.
std::string withPageSuffix(const std::string& outputPath, int pageNumber,
                           std::string_view outputFormatKey);

} // namespace kx::engine
