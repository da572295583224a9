#include "core/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kx::core {

namespace {

std::string temporaryBase() {
    const char* base = std::getenv("TMPDIR");
    return base && base[0] == '/' ? base : "/tmp";
}

// A folder whose content only this user controls: a real folder (not a link), owned by us,
// mode 0700.
bool isPrivateFolder(const std::string& folder) {
    struct stat facts {};
    return lstat(folder.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode) &&
           facts.st_uid == getuid() && (facts.st_mode & 07777) == 0700;
}

std::string sharedPrivateFolder() {
    const std::string folder = temporaryBase() + "/kestrelix-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    return isPrivateFolder(folder) ? folder : std::string();
}

// Opens the lock file in `folder`; -1 with `why` set when it cannot be made there.
int openLockFile(const std::string& folder, const std::string& name, std::string& handOverPath,
                 std::string& why) {
    if (folder.empty())
        return -1;
    const std::string path = folder + "/" + name + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0)
        handOverPath = folder + "/" + name + ".socket";
    else
        why = "cannot make " + path + ": " + std::strerror(errno);
    return fd;
}

// A folder this user owns that no one else may write in. Under `su` or `sudo -E` the runtime
// folder in the environment is often another user's, who could then hold the lock or listen
// on the hand-over socket.
bool isOwnFolder(const std::string& folder) {
    struct stat facts {};
    return stat(folder.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode) &&
           facts.st_uid == getuid() && (facts.st_mode & 022) == 0;
}

} // namespace

std::string lockFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && *runtime && isOwnFolder(runtime))
        return runtime;
    return sharedPrivateFolder();
}

std::string runtimeFolderNote() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime || isOwnFolder(runtime))
        return {};
    return std::string("The runtime folder ") + runtime +
           " is not this user's alone; the lock is kept in " + sharedPrivateFolder() + " instead";
}

InstanceLock::~InstanceLock() {
    release();
}

InstanceLock::Outcome InstanceLock::acquire(const std::string& name, std::string& why) {
    release();
    m_lockName = name;
    m_handOverPath.clear();
    m_fd = openLockFile(lockFolder(), name, m_handOverPath, why);
    // A broken runtime folder must not stop the program from ever starting.
    if (m_fd < 0)
        m_fd = openLockFile(sharedPrivateFolder(), name, m_handOverPath, why);
    // The shared folder is taken by someone else: a fresh one keeps this copy running, at the
    // price of not seeing other copies.
    if (m_fd < 0) {
        std::string fresh = temporaryBase() + "/kestrelix-" + std::to_string(getuid()) + "-XXXXXX";
        if (mkdtemp(fresh.data())) {
            m_freshFolder = fresh;
            m_fd = openLockFile(fresh, name, m_handOverPath, why);
        } else {
            why = "cannot make a folder in " + temporaryBase() + ": " + std::strerror(errno);
        }
    }
    if (m_fd < 0) {
        release();
        return Outcome::Unavailable;
    }
    why.clear();
    if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        if (!taken)
            why = "cannot lock " + m_handOverPath.substr(0, m_handOverPath.rfind('/')) + "/" +
                  name + ".lock: " + std::strerror(errno);
        release();
        return taken ? Outcome::HeldByAnotherCopy : Outcome::Unavailable;
    }
    return Outcome::Held;
}

void InstanceLock::release() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_freshFolder.empty()) {
        unlink((m_freshFolder + "/" + m_lockName + ".lock").c_str());
        rmdir(m_freshFolder.c_str());
        m_freshFolder.clear();
    }
}

} // namespace kx::core
