#include "tests/support/page_gate.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace kx::test {

namespace {
// Each gate's FIFO has a name of its own, so that a test may hold several gates in one folder.
int g_gatesMade = 0;
} // namespace

PageGate::PageGate(const std::string& folder)
    : m_path(folder + "/page-gate-" + std::to_string(++g_gatesMade)) {
    EXPECT_EQ(mkfifo(m_path.c_str(), 0600), 0) << m_path;
    // Read and write, so that opening does not wait for a reader; the worker's reads then
    // wait for bytes rather than for a writer.
    m_fd = open(m_path.c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_GE(m_fd, 0) << m_path;
    setenv("KX_PAGE_GATE", m_path.c_str(), 1);
}

PageGate::~PageGate() {
    openWide();
    unsetenv("KX_PAGE_GATE");
}

void PageGate::release(int pages) {
    const std::string tokens(static_cast<size_t>(pages), 'p');
    EXPECT_EQ(write(m_fd, tokens.data(), tokens.size()), static_cast<ssize_t>(tokens.size()));
}

void PageGate::openWide() {
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

} // namespace kx::test
