#include "engine/input_list.h"

// Reads arbitrary bytes as an input list, and checks what comes out: every path is non-empty,
// no longer than a path can be and free of separators, and the paths put back together with
// their separators are the list itself, less what a list may drop (empty entries, carriage
// returns before line breaks).

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using kx::engine::InputListReader;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("kx-input-list-fuzz", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) || lseek(fd, 0, SEEK_SET))
        std::abort();
    const std::string_view list(reinterpret_cast<const char*>(data), size);
    InputListReader reader(fd, -1);
    std::string path;
    size_t searched = 0;
    for (InputListReader::Next next; (next = reader.next(path)) != InputListReader::Next::End;) {
        if (next == InputListReader::Next::TooLong)
            break;
        if (next != InputListReader::Next::Path || path.empty() ||
            path.size() > InputListReader::longestPath() ||
            path.find('\0') != std::string::npos)
            std::abort();
        // Each path lies in the list, in order.
        const size_t at = list.find(path, searched);
        if (at == std::string_view::npos)
            std::abort();
        searched = at + path.size();
    }
    close(fd);
    return 0;
}
