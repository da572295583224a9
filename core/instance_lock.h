#pragma once

#include <string>

namespace kx::core {

// The single-instance lock: an exclusive flock on a file named after the title text in
// $XDG_RUNTIME_DIR (else, or when that folder is unusable, a private folder under /tmp). The kernel
// releases it when the process ends, even on a crash. The descriptor is close-on-exec, so programs
// started from here never inherit it.
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock named `name`; false when another copy holds
    // it or no lock file can be made at all.
    bool acquire(const std::string& name);
    void release();

private:
    int m_fd = -1;
};

// The folder the lock file lives in.
std::string lockFolder();

} // namespace kx::core
