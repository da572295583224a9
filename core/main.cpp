#include "base/text_format.h"
#include "core/command_line.h"
#include "core/console.h"
#include "core/console_run.h"
#include "core/hand_over.h"
#include "core/instance_lock.h"
#include "core/window_module.h"
#include "engine/job_state.h"
#include "engine/run_control.h"
#include "settings/settings.h"
#include "settings/string_table.h"

// Entry point: one copy at a time, then the version line, the usage text, the uninstall page,
// the console conversion or the window, always ending with exit status 0. The program itself
// links no Qt: the window, the uninstall page and the screenshot mode live in the window
// module, opened only for them.

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace kx;

std::string programName(const char* argv0) {
    std::string name = argv0 ? argv0 : "kestrelix";
    name = name.substr(name.rfind('/') + 1);
    if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

bool isVersionSwitch(const std::string& first) {
    return first == "-V" || first == "--VERSION";
}

bool isHelpSwitch(const std::string& first) {
    return first == "-H" || first == "-?" || first == "--HELP";
}

// True for a first parameter that asks for something other than a conversion.
bool isRunModeSwitch(const std::string& first) {
    return first == "-U" || first == "-T" || isVersionSwitch(first) || isHelpSwitch(first);
}

// Returns true when the window run is to start. Beside another copy of the program
// (`anotherCopy`), only what leaves the configuration file alone runs here: a conversion, the
// version, the help; the rest is the window's, which that copy has.
bool runCommandLine(const std::vector<std::string>& parameters, const char* argv0,
                    bool anotherCopy) {
    // A closed output pipe (`kestrelix ... | head -c1`) must not end the run: lines that
    // cannot be written are dropped and the conversion goes on.
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit (ulimit -f) makes a write fail with its reason, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::string first = core::optionName(parameters.front());
    // The first decoder of a conversion is started first, so that it starts while the
    // settings and the command line are read; a command line that turns out to convert
    // nothing lets it go.
    if (!isRunModeSwitch(first))
        engine::prepareConversions();

    auto& job = engine::globalJobState();
    auto& queue = engine::globalJobQueue();
    auto& settings = settings::globalSettings();
    engine::resetJobState(job, queue);
    settings::applyDefaults(settings, true);
    settings::loadStringTable();
    core::TerminalConsole console;
    if (anotherCopy && (first == "-U" || first == "-T"))
        return true;
    if (first == "-U") {
        if (const ui::WindowFunctions* window = core::windowFunctions(base::titleText()))
            window->runUninstall(base::titleText().c_str(), &settings);
        return false;
    }
    if (first == "-T") {
        const std::string folder = parameters.size() > 1 ? core::optionValue(parameters[1]) : "";
        if (const ui::WindowFunctions* window = core::windowFunctions(base::titleText()))
            window->runScreenshots(base::titleText().c_str(), folder.c_str(), &settings);
        return false;
    }
    if (isVersionSwitch(first)) {
        console.setTitle(base::titleText());
        console.printLine(base::versionText(base::k_version));
        return false;
    }
    if (isHelpSwitch(first)) {
        console.setTitle(base::titleText());
        for (const std::string& line : core::usageLines(programName(argv0)))
            console.printLine(line);
        return false;
    }

    const core::ParseResult parsed = core::parseCommandLine(parameters, settings, job);
    if (!parsed.error.empty() || !job.consoleMode)
        engine::finishConversions();
    if (!parsed.error.empty()) {
        console.setTitle(base::titleText());
        console.printLine("Error: " + parsed.error);
        if (parsed.pause)
            console.waitForKey();
        return false;
    }
    if (!job.consoleMode)
        return true;
    core::runConsoleConversion(settings, job, queue, parsed, console);
    engine::finishConversions();
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> parameters(argv + (argc > 0 ? 1 : 0), argv + argc);
    // A file as the only parameter is what a desktop's "Open with" hands over.
    const bool openWith = parameters.size() == 1 && !parameters[0].starts_with('-');

    kx::core::InstanceLock lock;
    std::string why;
    const kx::core::InstanceLock::Outcome outcome = lock.acquire(kx::base::titleText(), why);
    // The lock guards the window and its configuration file. A start of the window beside
    // another copy gives that copy the file and raises its window, and this copy ends at once;
    // a command-line conversion runs whatever else does.
    const bool anotherCopy = outcome == kx::core::InstanceLock::Outcome::HeldByAnotherCopy;
    if (anotherCopy && (parameters.empty() || openWith)) {
        kx::core::handOver(lock.handOverPath(), openWith ? parameters[0] : "");
        return 0;
    }
    if (outcome == kx::core::InstanceLock::Outcome::Unavailable) {
        // Nowhere to keep the lock must not make the program useless: it runs, only without
        // noticing other copies.
        std::fprintf(stderr, "%s: running without the single-instance lock: %s.\n",
                     kx::base::titleText().c_str(), why.c_str());
        std::fflush(stderr);
    }

    if (parameters.empty() ||
        runCommandLine(parameters, argc > 0 ? argv[0] : nullptr, anotherCopy)) {
        if (anotherCopy) {
            kx::core::handOver(lock.handOverPath(), "");
            return 0;
        }
        const std::string title = kx::base::titleText();
        if (const kx::ui::WindowFunctions* window = kx::core::windowFunctions(title))
            window->runWindow(title.c_str(), openWith ? parameters[0].c_str() : "",
                              lock.handOverPath().c_str(), &kx::settings::globalSettings());
    }
    return 0;
}
