#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

namespace kx::test {

// Makes this process the reaper of orphans among its descendants: processes a program it started
// leaves behind come to it, where they can be waited for and told apart from the rest of the
// machine.
void adoptOrphans();

// The processes whose parent is `parent`, now.
std::vector<pid_t> childrenOf(pid_t parent);

// Processor time `pid` has used, in clock ticks; 0 when it is gone.
uint64_t processorTicks(pid_t pid);

// Waits up to `limitSeconds` for each of `pids` (children or adopted orphans of this process)
// to end, reaping them. Those still running then are killed; they are returned.
std::vector<pid_t> survivors(const std::vector<pid_t>& pids, int limitSeconds);

} // namespace kx::test
