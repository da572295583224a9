#pragma once

#include <QApplication>

#include <memory>
#include <string>

namespace kx::ui {

// Starts Qt's window system for the program titled `title`. Qt sees only the program name,
// never the program's own parameters (it would obey words such as -platform or -style).
// Without a usable display it says so on standard error and returns null; a platform that
// cannot connect ends the process with status 0 after the same message instead of aborting.
// Main thread only; at most one at a time.
std::unique_ptr<QApplication> startWindowSystem(const std::string& title);

} // namespace kx::ui
