#pragma once

#include "settings/settings.h"

#include <string>
#include <string_view>

namespace kx::engine {

// What stops a run before it converts anything. Each front end words it for its user.
enum class RunProblem {
    None,
    EmptyOutputFolder,     // no output folder named
    MissingOutputFolder,   // the output folder is not an existing folder
    InvalidConversionType, // an output format key the program does not offer
    InvalidDepth,          // the format's bit-depth setting is neither 0 (automatic) nor one of
                           // the format's depths
    InvalidWidth,          // resizing to a width of 0
    InvalidHeight,         // resizing to a height of 0
    InvalidBrightness,     // colour correction with a brightness outside -100..100
    InvalidContrast,       // colour correction with a contrast outside -100..100
    InvalidGamma,          // colour correction with a gamma outside 0.01..9.99, or not a number
};

// EmptyOutputFolder, MissingOutputFolder or None for the output folder `folder`, a path the
// caller has resolved. Any thread.
RunProblem outputFolderProblem(const std::string& folder);

// The first problem of `settings` for a run writing `outputFormatKey`, in the order of the
// enumeration from InvalidConversionType on, or None. Any thread.
RunProblem runSettingsProblem(const settings::Settings& settings, std::string_view outputFormatKey);

} // namespace kx::engine
