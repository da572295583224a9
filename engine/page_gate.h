#pragma once

namespace kx::engine {

// Lets a test hold a run at the page it chooses instead of counting on the machine to be slow:
// in a build with tests, when the environment variable KX_PAGE_GATE names a FIFO, the worker
// takes one byte from it before each page, so that every byte the test writes lets one page
// through. Once no process holds the FIFO open for writing, every page goes through. Does
// nothing without the variable, and nothing at all in a build without tests. Worker thread.
void waitAtPageGate();

} // namespace kx::engine
