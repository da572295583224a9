#pragma once

#include <string>
#include <utility>

namespace kx::test {

// The test's end of the page gate that a test build's worker waits at before each page: a
// FIFO named in this process's environment (KX_PAGE_GATE), and so in that of the programs it
// starts, through which the test lets a run's pages through one at a time. While the gate is
// held, a run stands before its next page for as long as the test wants.
class PageGate {
public:
    explicit PageGate(const std::string& folder);
    // Lets every page through and takes the variable out of the environment.
    ~PageGate();
    PageGate(const PageGate&) = delete;
    PageGate& operator=(const PageGate&) = delete;

    // Lets `pages` more pages through.
    void release(int pages = 1);
    // Lets every page from now on through: no run waits at the gate any more.
    void openWide();
    // The environment entry that puts a started program behind this gate.
    std::pair<std::string, std::string> variable() const { return {"KX_PAGE_GATE", m_path}; }

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace kx::test
