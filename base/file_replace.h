#pragma once

#include "base/fd_io.h"

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kx::base {

// Whether a replaced file is flushed to disk before it takes the final name.
enum class Flush { ToDisk, Lazily };

// Replaces `path` with what `write` writes to the descriptor of a temporary file in the same
// folder; the temporary file takes the name `path` only when `write` and closing it succeeded.
// Where the file system allows it the temporary file has no name until it is complete, so an
// interrupted write leaves nothing; elsewhere its hidden name is known to
// abandonFileWrites(). On failure nothing partial is left and a previous file stays intact,
// and `why` receives the reason, with the system's own words ("cannot write
// /out/a.bmp: No space left on device"). `write` leaves errno set when it fails. A replaced
// file keeps its permissions; a new one gets what creating it directly would give. Any thread.
bool replaceFile(const std::string& path, const std::function<bool(int fd)>& write, Flush flush,
                 std::string& why);

// replaceFile in two steps, for a file filled in between by someone else (another process
// given its descriptor): an unnamed file is made in a folder, and once complete it replaces
// the file of a name in that folder.
class PendingFile {
public:
    PendingFile();
    PendingFile(PendingFile&&) noexcept;
    PendingFile& operator=(PendingFile&&) noexcept;
    ~PendingFile(); // a file never committed leaves nothing

    // Makes the unnamed file in `folder` ("" or ending in "/"); false where the file system
    // has no unnamed files or no file can be made there.
    bool create(const std::string& folder);
    // The file's descriptor, open for reading and writing; -1 when there is none.
    int fd() const;
    // Gives the complete file the name `path`, which must lie in the folder it was made in,
    // as replaceFile does; false with `why` set as replaceFile sets it. The file is let go
    // of either way.
    bool commit(const std::string& path, Flush flush, std::string& why);

private:
    struct Unnamed;
    std::unique_ptr<Unnamed> m_file;
};

// replaceFile with `bytes` as the content, flushed to disk: for small files worth keeping.
bool replaceFileContent(const std::string& path, std::string_view bytes);

// For a process about to end in the middle of a run (a signal): removes every temporary file
// replaceFile has given a name and not yet renamed, and makes every replaceFile from now on
// fail before it names a file. Waits for a rename under way to finish. Any thread; never
// returns control of file writing to the process.
void abandonFileWrites();

// True for a hidden name replaceFile gives a file while it is written: ".NAME.kestrelix-" and
// six letters or digits.
bool isAbandonedWriteName(std::string_view name);

// Removes from `folder` ("" or ending in "/") the hidden files replaceFile named and a process
// ended without finishing (a power cut, SIGKILL): regular files so named, last changed before
// `before` (the start of the run, so that no file still being written is touched). Any thread.
void sweepAbandonedWrites(const std::string& folder, std::time_t before);

} // namespace kx::base