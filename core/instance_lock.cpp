#include "core/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace kx::core {

namespace {

std::string privateTempFolder() {
    const std::string folder = "/tmp/kestrelix-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    return folder;
}

int openLockFile(const std::string& folder, const std::string& name) {
    const std::string path = folder + "/" + name + ".lock";
    return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

} // namespace

std::string lockFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return runtime;
    return privateTempFolder();
}

InstanceLock::~InstanceLock() {
    release();
}

bool InstanceLock::acquire(const std::string& name) {
    release();
    m_fd = openLockFile(lockFolder(), name);
    // A broken runtime folder must not stop the program from ever starting.
    if (m_fd < 0)
        m_fd = openLockFile(privateTempFolder(), name);
    if (m_fd < 0)
        return false;
    if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        release();
        return false;
    }
    return true;
}

void InstanceLock::release() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

} // namespace kx::core
