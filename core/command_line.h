#pragma once

#include "engine/job_state.h"
#include "settings/settings.h"

#include <string>
#include <vector>

namespace kx::core {

// The trimmed option name of a parameter, upper-cased: the whole word when it begins with
// "-", cut at the first "=" when it begins with "--", empty for a plain word.
std::string optionName(const std::string& parameter);

// The trimmed parameter, or what follows the first "=" of a "--" parameter.
std::string optionValue(const std::string& parameter);

// What a parse leaves for the run.
struct ParseResult {
    std::string error; // "Incorrect number of parameters", "Invalid profile file" or empty
    bool quiet = false;
    bool pause = false;
};

// Applies every parameter, in order, to `settings` and `job`. The first refused value or
// unreadable profile ends the parse with `error` set.
ParseResult parseCommandLine(const std::vector<std::string>& parameters,
                             settings::Settings& settings, engine::JobState& job);

// Applies the `CLI` group of the settings profile at `path`. False when the path is empty
// or the file cannot be opened.
bool loadProfile(const std::string& path, settings::Settings& settings, engine::JobState& job);

// The usage lines printed by -h, for the program named `programName`.
std::vector<std::string> usageLines(const std::string& programName);

} // namespace kx::core
