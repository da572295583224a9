#pragma once

#include <string>

namespace kx::test {

// An Xvfb server on a free display number for tests that run the real program's windows.
// Ended when the object goes away. running() is false where Xvfb is not installed or does
// not start; such tests skip.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool running() const { return !m_name.empty(); }
    // ":N", for DISPLAY.
    const std::string& name() const { return m_name; }

    // Runs `command` through the shell with DISPLAY set to this display; its exit status.
    int run(const std::string& command) const;
    // The id of the first visible window titled exactly `title`, waiting up to 15 seconds
    // for it to appear; empty when none does. Needs xdotool.
    std::string waitForWindow(const std::string& title) const;

private:
    int m_pid = -1;
    std::string m_name;
};

} // namespace kx::test
