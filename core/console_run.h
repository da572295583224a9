#pragma once

#include "core/console.h"
#include "engine/job_state.h"
#include "settings/settings.h"

namespace kx::core {

// Converts the one file named by `-i` without a window: prints the banner, validates the
// input, the output folder, the format and the option values (printing an "Error: " line and
// stopping at the first problem), queues the job, runs the conversion worker on its own
// thread, waits for it and prints the outcome. Main thread only.
void runConsoleConversion(settings::Settings& settings, engine::JobState& job,
                          engine::JobQueue& queue, bool quiet, bool pause, Console& console);

} // namespace kx::core
