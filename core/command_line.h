#pragma once

#include "engine/job_state.h"
#include "settings/settings.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kx::core {

// The trimmed option name of a parameter, upper-cased: the whole word when it begins with
// "-", cut at the first "=" when it begins with "--", empty for a plain word.
std::string optionName(const std::string& parameter);

// The trimmed parameter, or what follows the first "=" of a "--" parameter.
std::string optionValue(const std::string& parameter);

// The integer of an option value: leading spaces and tabs skipped, an optional sign, then
// decimal digits, or hexadecimal digits after "$", or binary digits after "%", read up to the
// first character that does not fit; 0 without digits. Values beyond 32 bits wrap modulo 2^32,
// as the settings file reader does.
int32_t optionNumber(std::string_view value);

// The real of an option value: "+Infinity", "-Infinity" or "NaN" in any case, else a decimal
// number with "." read as far as it goes (leading spaces and tabs skipped, optional exponent);
// 0 when nothing is readable. Too large a magnitude gives an infinity, too small gives 0.
float optionReal(std::string_view value);

// What a parse leaves for the run.
struct ParseResult {
    std::string error; // "Incorrect number of parameters", "Invalid profile file" or empty
    std::vector<std::string> inputs;     // every -i value and the words that follow one
    std::vector<std::string> inputLists; // every --input-list value ("-" for standard input)
    bool quiet = false;
    bool pause = false;
};

// Applies every parameter, in order, to `settings` and `job`. The plain words that follow an
// -i value, up to the next option, are further inputs, as a shell's expansion of `-i *.tif`
// gives them. The first refused value or
// unreadable profile ends the parse with `error` set; what came before it stays applied. The
// mode switches of the first parameter are not options here and are ignored. Main thread.
ParseResult parseCommandLine(const std::vector<std::string>& parameters,
                             settings::Settings& settings, engine::JobState& job);

// Applies the `CLI` group of the settings profile at `path`, entry by entry in file order.
// Keys that are no profile option are ignored. False when the path is empty or the file cannot
// be opened; true for a file without a `CLI` group.
bool loadProfile(const std::string& path, settings::Settings& settings, engine::JobState& job);

// The usage lines printed by -h, for the program named `programName`; a blank line is " ".
std::vector<std::string> usageLines(const std::string& programName);

} // namespace kx::core
