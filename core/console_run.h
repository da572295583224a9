#pragma once

#include "core/command_line.h"
#include "core/console.h"
#include "engine/job_state.h"
#include "settings/settings.h"

namespace kx::core {

// Converts the inputs the command line names without a window: prints the banner, validates
// the input, the output folder, the format and the option values (printing an "Error: " line
// and stopping at the first problem), queues the jobs (every file below a named folder, every
// line of an input list), runs the conversion worker on its own thread, waits for it and
// prints the outcome, with a "Not converted: " line for each file that failed when there
// were several. Main thread only.
void runConsoleConversion(settings::Settings& settings, engine::JobState& job,
                          engine::JobQueue& queue, const ParseResult& parsed, Console& console);

} // namespace kx::core
