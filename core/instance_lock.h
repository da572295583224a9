#pragma once

#include <string>

namespace kx::core {

// The single-instance lock: an exclusive flock on a file named after the title text in
// $XDG_RUNTIME_DIR (else, or when that folder is unusable, a private folder under the
// temporary folder). The kernel releases it when the process ends, even on a crash. The
// descriptor is close-on-exec, so programs started from here never inherit it, and the lock
// file is never reached through a symbolic link.
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

    // The local socket beside the lock file, "<name>.socket", where the copy holding the lock
    // takes hand-overs from later starts. Known after acquire(), whether it succeeded or
    // another copy held the lock; empty when no lock file could be opened.
    const std::string& handOverPath() const { return m_handOverPath; }

private:
    int m_fd = -1;
    std::string m_freshFolder; // a folder made for this lock alone, removed on release
    std::string m_lockName;
    std::string m_handOverPath;
};

// The folder the lock file lives in: $XDG_RUNTIME_DIR when set, else the shared private
// folder "kestrelix-<uid>" in $TMPDIR (or /tmp), made when missing. Empty when that folder
// exists but is not a real folder of this user's that only this user can enter: another user
// could have made it first to hold the lock there or plant links in it.
std::string lockFolder();

} // namespace kx::core
