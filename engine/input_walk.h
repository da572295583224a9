#pragma once

#include "engine/job_state.h"

#include <string>

namespace kx::engine {

// What turns the paths a user names into queue entries.
struct InputWalk {
    std::string acceptedExtensions; // comma-separated, lower-case
    bool keepSubfolders = true;     // entries below a named folder keep their subfolder
    std::string outputFolder;       // never read as input when it lies inside a named folder
    bool onlyOnce = false;          // a path already queued is not queued again
};

// Queues what `path` names: a file as itself, a folder as every file below it whose
// extension is accepted, folder by folder in name order. Folders reached twice (through
// links) are read once, and the output folder is left out. An entry that cannot be converted
// is queued with its problem (an empty or misnamed file, an unreadable folder), so that the
// run reports it in its place. Every entry's subfolder begins with `subfolder` (with trailing
// "/", or empty). Returns the number of entries added.
size_t queueInput(JobQueue& queue, const std::string& path, const InputWalk& walk,
                  const std::string& subfolder = {});

// The folder part of a relative `path` that stays below where it starts ("a/b/" for
// "./a/b/c.tif"); empty for an absolute path or one that climbs out with "..".
std::string relativeFolderOf(const std::string& path);

} // namespace kx::engine
