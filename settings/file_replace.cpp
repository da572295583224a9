#include "settings/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace kx::settings {

namespace {

// Keeps the temporary name within the file system's name limit for long names.
constexpr size_t k_maxTempStem = 200;

uint32_t processUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<uint32_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
    }
    return 022;
}

mode_t modeFor(const std::string& path) {
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        return existing.st_mode & 07777;
    static const uint32_t mask = processUmask();
    return static_cast<mode_t>(0666 & ~mask);
}

} // namespace

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool replaceFile(const std::string& path, const std::function<bool(int fd)>& write, Flush flush) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = path.substr(folder.size());
    if (name.empty() || name == "." || name == "..")
        return false;

    // A hidden name that no other writer, in this process or another, picks.
    std::string temporary = folder + "." + name.substr(0, k_maxTempStem) + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = write(fd);
    // Some file systems (FAT on removable media) refuse permission changes; the data matters.
    (void)fchmod(fd, modeFor(path));
    // Page files are not flushed: that would cost more than converting a small page. A failed
    // or interrupted run still never leaves a truncated file under the final name; surviving
    // a power cut is then left to the file system. A network file system may only report a
    // failed write when the file is closed.
    if (flush == Flush::ToDisk)
        ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok)
        unlink(temporary.c_str());
    return ok;
}

bool replaceFileContent(const std::string& path, std::string_view bytes) {
    return replaceFile(
        path, [bytes](int fd) { return writeAll(fd, bytes); }, Flush::ToDisk);
}

} // namespace kx::settings
