#pragma once

#include <string>

namespace kx::ui {

// Builds the main window with sample contents and writes two documentation pictures of it,
// "quorvant1.jpg" and the 180-pixel-wide "quorvant1x.jpg", into `folder` (the program's
// folder when empty). Does nothing when the folder does not exist. Ends without an event
// loop of its own beyond the half second the window needs to paint. Main thread only.
void runScreenshotMode(const std::string& title, const std::string& folder);

} // namespace kx::ui
