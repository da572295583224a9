#include "engine/job_state.h"
#include "settings/settings.h"
#include "settings/string_table.h"
#include "ui/screenshot_mode.h"
#include "ui/uninstall_window.h"
#include "ui/window_functions.h"
#include "ui/window_run.h"

// The window module's one exported symbol: the table of its run modes. Everything else in the
// module stays hidden, so its own copies of shared code never answer for the program's.

namespace {

using namespace kx;

// The module's own shared state starts as the program's did before the mode was chosen.
void takeOver(const settings::Settings* given) {
    if (given)
        settings::globalSettings() = *given;
    engine::resetJobState(engine::globalJobState(), engine::globalJobQueue());
    settings::loadStringTable();
}

void runWindow(const char* title, const char* inputFile, const char* handOverPath,
               const settings::Settings* settings) {
    takeOver(settings);
    ui::runWindowMode(title, inputFile ? inputFile : "", handOverPath ? handOverPath : "");
}

void runUninstall(const char* title, const settings::Settings* settings) {
    takeOver(settings);
    ui::runUninstallMode(title);
}

void runScreenshots(const char* title, const char* folder, const settings::Settings* settings) {
    takeOver(settings);
    ui::runScreenshotMode(title, folder ? folder : "");
}

constexpr ui::WindowFunctions k_functions{
    ui::k_windowTableVersion,
    runWindow,
    runUninstall,
    runScreenshots,
};

} // namespace

extern "C" __attribute__((visibility("default"))) const kx::ui::WindowFunctions*
kx_window_functions() {
    return &k_functions;
}
