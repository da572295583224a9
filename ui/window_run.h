#pragma once

#include "engine/job_state.h"
#include "settings/settings.h"

#include <string>
#include <vector>

namespace kx::ui {

// Runs the window mode: reads the configuration file, opens the main window titled `title`
// and turns the event loop until the window is closed; then stores the window's geometry,
// empties the recent output folders when history is off and writes the configuration file.
// The end of the desktop session (SIGTERM, SIGHUP, SIGINT) does the same at once, whatever
// window is open, and ends the process there, abandoning a conversion under way.
// A non-empty `inputFile` is taken as the input file once the window is up, as a dropped
// file would be; so are files that later starts hand over through the local socket
// `handOverPath` (none when empty), which also raise the window. Without a usable display
// it says so on standard error and returns. Main thread only.
void runWindowMode(const std::string& title, const std::string& inputFile = {},
                   const std::string& handOverPath = {});

class MainWindow;
struct ThemeEntry;
struct WindowHooks;

// The other windows and desktop hand-overs as the main window's commands reach them, working
// on `settings` and `job` and writing the configuration file at `configPath`.
WindowHooks windowHooks(settings::Settings& settings, engine::JobState& job,
                        const std::string& configPath, const std::vector<ThemeEntry>& themes);

// The end of a window run: takes the window's state into `settings`, empties the recent
// output folders when history is off, and writes the configuration file to `configPath`.
void finishWindowRun(const MainWindow& window, settings::Settings& settings,
                     const std::string& configPath);

} // namespace kx::ui
