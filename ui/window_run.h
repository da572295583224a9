#pragma once

namespace kx::ui {

// Runs the window mode: reads the configuration file, opens the main window and turns the
// event loop until it is closed, then stores the window's geometry and writes the
// configuration file. Returns when the window has closed.
void runWindowMode();

} // namespace kx::ui
