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
    enum class Outcome {
        Held,              // this process holds the lock
        HeldByAnotherCopy, // another copy of the program holds it
        Unavailable,       // no lock file can be made anywhere; the reason is given
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock named `name`. Unavailable, with `why` naming the folder and the system's
    // reason, when no lock file can be made in any of the folders tried (a runtime folder
    // that is missing and a temporary folder that cannot be written).
    Outcome acquire(const std::string& name, std::string& why);
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

// The folder the lock file lives in: $XDG_RUNTIME_DIR when it is set and is a folder of this
// user's that no one else may write in, else the shared private
// folder "kestrelix-<uid>" in $TMPDIR (or /tmp), made when missing. Empty when that folder
// exists but is not a real folder of this user's that only this user can enter: another user
// could have made it first to hold the lock there or plant links in it.
std::string lockFolder();

// Why $XDG_RUNTIME_DIR was passed over for the lock, for a debug run; empty when it was used
// or is not set.
std::string runtimeFolderNote();

} // namespace kx::core
