#pragma once

#include "ui/window_functions.h"

#include <string>

namespace kx::core {

// The window module's table, opened from the program's folder or the installed library
// folder. When it is missing or unusable, says why on standard error (naming the program
// `title`) and returns null. Main thread only.
const ui::WindowFunctions* windowFunctions(const std::string& title);

} // namespace kx::core
