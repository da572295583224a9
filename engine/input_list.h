#pragma once

#include <cstddef>
#include <string>

namespace kx::engine {

// Reads the paths of an input list as they arrive: one per line, or one per NUL-terminated
// entry where the list is NUL-separated, as `find -print0` writes it. A path cannot hold a NUL
// byte, so a list whose first separator is one is NUL-separated, and in a list of lines a NUL
// ends a path as a line break does. Empty entries are skipped, and in lines a carriage return
// before the line break (lists written on Windows).
class InputListReader {
public:
    enum class Next {
        Path,       // the next path is in `path`
        End,        // the list has ended
        Stopped,    // the stop descriptor became readable first
        TooLong,    // an entry is longer than any path can be; nothing after it is read
        Unreadable, // reading failed; errno says why
    };

    // Reads from `fd` (not closed here). While waiting for more of the list, waits on `stopFd`
    // as well, when it is not -1, so that a stop signal ends the wait on a list that is slow
    // to come or never ends.
    InputListReader(int fd, int stopFd) : m_fd(fd), m_stopFd(stopFd) {}

    Next next(std::string& path);

    // The number of the entry last read, counting empty ones, from 1.
    size_t entryNumber() const { return m_entries; }

    // The longest entry taken for a path: the system's limit on a path, less its NUL.
    static size_t longestPath();

private:
    enum class Separators { Unknown, Lines, Nuls };

    // The end of the entry starting at m_at, or npos when the buffer holds no separator yet.
    size_t entryEnd();
    // Waits for and reads more of the list; Path when some came or the list ended.
    Next fill();

    int m_fd;
    int m_stopFd;
    std::string m_buffer;
    size_t m_at = 0; // where the next entry starts in m_buffer
    Separators m_separators = Separators::Unknown;
    bool m_ended = false;
    size_t m_entries = 0;
};

} // namespace kx::engine
