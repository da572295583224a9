#include "base/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

namespace kx::base {

namespace {

// Keeps the temporary name within the file system's name limit for long names.
constexpr size_t k_maxTempStem = 200;
// Hidden names end in this and six letters or digits, which no one else's file does.
constexpr std::string_view k_tempMark = ".kestrelix-";
constexpr size_t k_tempSuffixSize = 6;

uint32_t processUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<uint32_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
    }
    return 022;
}

// What creating a file directly gives it.
mode_t newFileMode() {
    static const uint32_t mask = processUmask();
    return static_cast<mode_t>(0666 & ~mask);
}

mode_t modeFor(const std::string& path) {
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        return existing.st_mode & 07777;
    return newFileMode();
}

// The hidden temporary names that exist on disk right now. A process that ends in the middle
// of a run removes them; once it has started doing so no new name may appear.
class PendingNames {
public:
    // Runs `create` (which makes the file named `name` and says whether it did) unless the
    // process is ending; remembers the name when it was made.
    template <typename Create> bool add(const std::string& name, Create create) {
        std::lock_guard guard(m_lock);
        if (m_abandoned) {
            errno = ECANCELED;
            return false;
        }
        if (!create())
            return false;
        m_names.push_back(name);
        return true;
    }

    // Runs `publish` (the rename of `name`) and forgets the name.
    template <typename Publish> bool publish(const std::string& name, Publish rename) {
        std::lock_guard guard(m_lock);
        const bool done = !m_abandoned && rename();
        std::erase(m_names, name);
        return done;
    }

    void forget(const std::string& name) {
        std::lock_guard guard(m_lock);
        std::erase(m_names, name);
    }

    void abandon() {
        // The lock is kept: a writer waiting for it never gets to name or rename a file.
        m_lock.lock();
        m_abandoned = true;
        for (const std::string& name : m_names)
            unlink(name.c_str());
        m_names.clear();
    }

private:
    std::mutex m_lock;
    bool m_abandoned = false;
    std::vector<std::string> m_names;
};

PendingNames& pendingNames() {
    static PendingNames* names = new PendingNames; // outlives every writer thread
    return *names;
}

std::string randomSuffix() {
    static constexpr char k_letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        const auto fallback =
            static_cast<uint64_t>(getpid()) * 2654435761u ^ reinterpret_cast<uintptr_t>(&bytes);
        std::memcpy(bytes, &fallback, sizeof bytes);
    }
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix += k_letters[byte % (sizeof k_letters - 1)];
    return suffix;
}

std::string failure(std::string_view what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

// A file being written in `folder`, named only once it is complete where the file system
// supports unnamed files, named from the start elsewhere.
class TemporaryFile {
public:
    TemporaryFile(const std::string& folder, const std::string& name)
        : m_folder(folder), m_stem(stemFor(folder, name)) {}

    // The hidden names of a file that is to be called `name` in `folder`.
    static std::string stemFor(const std::string& folder, const std::string& name) {
        return folder + "." + name.substr(0, k_maxTempStem) + std::string(k_tempMark);
    }

    ~TemporaryFile() {
        if (m_fd >= 0)
            close(m_fd);
        if (!m_name.empty()) {
            unlink(m_name.c_str());
            pendingNames().forget(m_name);
        }
    }

    // Creates the file; false with errno set when no file can be made in the folder. With
    // `unnamedOnly`, where the file system has no unnamed files no file is made.
    bool create(mode_t mode, bool unnamedOnly = false) {
        m_fd =
            open(m_folder.empty() ? "." : m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (m_fd >= 0)
            return true;
        if (unnamedOnly ||
            (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT))
            return false;
        // No unnamed files here: a hidden name from the start.
        std::string name = m_stem + "XXXXXX";
        return pendingNames().add(name, [&] {
            m_fd = mkostemp(name.data(), O_CLOEXEC);
            if (m_fd >= 0)
                m_name = name;
            return m_fd >= 0;
        });
    }

    int fd() const { return m_fd; }
    const std::string& folder() const { return m_folder; }

    // Aims an unnamed file at the name `name` in its folder.
    void aimAt(const std::string& name) { m_stem = stemFor(m_folder, name); }

    // Gives an unnamed file its hidden name (kept only until the rename).
    bool name() {
        if (!m_name.empty())
            return true;
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        for (int tries = 0; tries < 100; ++tries) {
            const std::string name = m_stem + randomSuffix();
            const bool linked = pendingNames().add(name, [&] {
                if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                    return true;
                // Without /proc, the descriptor itself (a privileged call on older kernels).
                return errno == ENOENT &&
                       linkat(m_fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
            });
            if (linked) {
                m_name = name;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    // Gives an unnamed file the name `path` in one step, where no file has that name yet, so
    // that no hidden name is ever left behind for it. False when that cannot be done (errno
    // EEXIST where a file has the name).
    bool linkAs(const std::string& path) {
        if (!m_name.empty())
            return false;
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        return pendingNames().publish(path, [&] {
            return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
        });
    }

    bool closeFile() {
        const int fd = m_fd;
        m_fd = -1;
        return close(fd) == 0;
    }

    bool renameTo(const std::string& path) {
        const bool renamed = pendingNames().publish(
            m_name, [&] { return std::rename(m_name.c_str(), path.c_str()) == 0; });
        if (renamed)
            m_name.clear();
        return renamed;
    }

private:
    std::string m_folder;
    std::string m_stem;
    std::string m_name; // the hidden name on disk, empty while there is none
    int m_fd = -1;
};

// The folder part of `path` (with its "/") and its file name; false with `why` set when the
// name is not a file name.
bool splitPath(const std::string& path, std::string& folder, std::string& name, std::string& why) {
    const auto slash = path.rfind('/');
    folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    name = path.substr(folder.size());
    if (name.empty() || name == "." || name == "..") {
        why = "cannot write " + path + ": the name is not a file name";
        return false;
    }
    return true;
}

// Closes `file` once linkAs gave it the name `path`; a file that fails to close loses the name
// again, with `why` set.
bool closeLinked(TemporaryFile& file, const std::string& path, std::string& why) {
    if (file.closeFile())
        return true;
    why = failure("cannot write", path, errno);
    unlink(path.c_str());
    return false;
}

// Gives the complete `file` the name `path`, with `mode`.
bool publish(TemporaryFile& file, const std::string& path, mode_t mode, Flush flush,
             std::string& why) {
    // Some file systems (FAT on removable media) refuse permission changes; the data matters.
    (void)fchmod(file.fd(), mode);
    // Page files are not flushed: that would cost more than converting a small page. A failed
    // or interrupted run still never leaves a truncated file under the final name; surviving
    // a power cut is then left to the file system.
    if (flush == Flush::ToDisk && fsync(file.fd()) != 0) {
        why = failure("cannot write", path, errno);
        return false;
    }
    if (file.linkAs(path))
        return closeLinked(file, path, why);
    if (!file.name()) {
        why = failure("cannot write", path, errno);
        return false;
    }
    // A network file system may only report a failed write when the file is closed.
    if (!file.closeFile() || !file.renameTo(path)) {
        why = failure("cannot write", path, errno);
        return false;
    }
    return true;
}

} // namespace

struct PendingFile::Unnamed {
    explicit Unnamed(const std::string& folder) : file(folder, "") {}
    TemporaryFile file;
};

PendingFile::PendingFile() = default;
PendingFile::PendingFile(PendingFile&&) noexcept = default;
PendingFile& PendingFile::operator=(PendingFile&&) noexcept = default;
PendingFile::~PendingFile() = default;

bool PendingFile::create(const std::string& folder) {
    m_file = std::make_unique<Unnamed>(folder);
    if (m_file->file.create(newFileMode(), true))
        return true;
    m_file.reset();
    return false;
}

int PendingFile::fd() const {
    return m_file ? m_file->file.fd() : -1;
}

bool PendingFile::commit(const std::string& path, Flush flush, std::string& why) {
    std::string folder, name;
    if (!splitPath(path, folder, name, why))
        return false;
    if (!m_file || folder != m_file->file.folder()) {
        why = failure("cannot write", path, EXDEV);
        return false;
    }
    m_file->file.aimAt(name);
    // Most often no file has the name yet: the file takes it at once, with the permissions it
    // was made with, which creating it under its name would have given it; a file it replaces
    // gives it its own.
    const bool done = flush == Flush::Lazily && m_file->file.linkAs(path)
                          ? closeLinked(m_file->file, path, why)
                          : publish(m_file->file, path, modeFor(path), flush, why);
    m_file.reset();
    return done;
}

bool replaceFile(const std::string& path, const std::function<bool(int fd)>& write, Flush flush,
                 std::string& why) {
    std::string folder, name;
    if (!splitPath(path, folder, name, why))
        return false;
    const mode_t mode = modeFor(path);
    TemporaryFile file(folder, name);
    if (!file.create(mode)) {
        why = failure("cannot create a file in", folder.empty() ? "." : folder, errno);
        return false;
    }
    errno = 0;
    if (!write(file.fd())) {
        why = failure("cannot write", path, errno != 0 ? errno : EIO);
        return false;
    }
    return publish(file, path, mode, flush, why);
}

bool replaceFileContent(const std::string& path, std::string_view bytes) {
    std::string why;
    return replaceFile(
        path, [bytes](int fd) { return writeAll(fd, bytes); }, Flush::ToDisk, why);
}

void abandonFileWrites() {
    pendingNames().abandon();
}

bool isAbandonedWriteName(std::string_view name) {
    const size_t tail = k_tempMark.size() + k_tempSuffixSize;
    if (name.size() <= tail + 1 || name[0] != '.' ||
        name.substr(name.size() - tail, k_tempMark.size()) != k_tempMark)
        return false;
    return std::all_of(name.end() - k_tempSuffixSize, name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

void sweepAbandonedWrites(const std::string& folder, std::time_t before) {
    DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
    if (!listing)
        return;
    while (const dirent* entry = readdir(listing)) {
        struct stat facts {};
        if (isAbandonedWriteName(entry->d_name) &&
            fstatat(dirfd(listing), entry->d_name, &facts, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(facts.st_mode) && facts.st_mtime < before)
            unlinkat(dirfd(listing), entry->d_name, 0);
    }
    closedir(listing);
}

} // namespace kx::base