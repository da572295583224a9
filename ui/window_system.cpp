#include "ui/window_system.h"

#include <cstdio>
#include <cstdlib>

namespace kx::ui {

namespace {

std::string g_title;

void sayNoDisplay() {
    std::fprintf(stderr,
                 "%s: no display is available for the window; give -i FILE to convert from "
                 "the command line.\n",
                 g_title.c_str());
    std::fflush(stderr);
}

bool displayNamed() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(name); value && *value)
            return true;
    }
    return false;
}

// Qt ends the process with a fatal message when the platform it was told to use cannot
// connect (QT_QPA_PLATFORM=xcb without a reachable X server). That is a missing display, not
// a crash: say so and end normally.
void startUpMessage(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type != QtFatalMsg)
        return;
    sayNoDisplay();
    std::_Exit(0);
}

} // namespace

std::unique_ptr<QApplication> startWindowSystem(const std::string& title) {
    g_title = title;
    if (!displayNamed()) {
        sayNoDisplay();
        return nullptr;
    }
    static int argc = 1;
    static char name[] = "kestrelix";
    static char* argv[] = {name, nullptr};
    const QtMessageHandler previous = qInstallMessageHandler(startUpMessage);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    return app;
}

} // namespace kx::ui
