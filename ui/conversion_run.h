#pragma once

#include "engine/job_state.h"
#include "settings/settings.h"

#include <string>

class QWidget;

namespace kx::ui {

class ProgressWindow;

// What a conversion run needs from the main window.
class ConversionHost {
public:
    virtual ~ConversionHost() = default;
    virtual QWidget* hostWindow() = 0;
    virtual void setStatusText(const std::string& text) = 0;
    // Fills the output folder box again from the recent folders.
    virtual void refillOutputFolders() = 0;
    // The progress window while it is open, null otherwise.
    virtual void setActiveProgress(ProgressWindow* progress) = 0;
};

// The main window's fields as the user left them.
struct ConversionRequest {
    std::string inputText; // the first queued input, remembered for the next file dialog
    std::string outputText;
    std::string formatKey;
};

// The input file and output folder the window remembers between runs.
struct CurrentPaths {
    std::string inputPath;
    std::string outputFolder;
};

// Validates the fields and the settings in the window's order, showing a warning and
// stopping at the first problem; otherwise fixes the run values, remembers the output folder
// and converts the queued jobs with a progress window, through the same worker as the command
// line. A watermark image is decoded off the window's thread, and closing the window
// meanwhile ends the run before it starts, without a warning. Returns true when the worker
// ran. Main thread only.
bool runConversion(settings::Settings& settings, engine::JobState& job, engine::JobQueue& queue,
                   CurrentPaths& paths, ConversionHost& host, const ConversionRequest& request);

} // namespace kx::ui
