#pragma once

#include "engine/input_walk.h"
#include "engine/job_state.h"

#include <functional>
#include <string>
#include <vector>

namespace kx::ui {

// A file or folder the user named that gives nothing to convert, and why.
struct RefusedInput {
    std::string path;
    std::string why;
};

// Walks each of `paths` as a run reads it (a file as itself, a folder with every TIFF file
// below it) and appends what can be converted to `found`, in order. A named file that cannot
// be converted, and a folder without a single file that can, are left out and returned with
// their reasons; problems met deeper in a folder, and a missing file with a TIFF name, stay in
// `found` for the run to report.
std::vector<RefusedInput> findInputs(const std::vector<std::string>& paths,
                                     const engine::InputWalk& walk, engine::JobQueue& found);

// The warning for refused inputs: per input "Unable to open the file: PATH!" and its reason;
// the first few inputs only, then how many more there are.
std::string refusalText(const std::vector<RefusedInput>& refused);

// What the input field shows for a queue: its one path, or for several files their count and
// as many of the first names as `fits` accepts ("3 files queued: a.tif, b.tif, ..."); empty
// for an empty queue.
std::string queueSummary(const engine::JobQueue& queue,
                         const std::function<bool(const std::string&)>& fits);

// The first paths of a queue, a line each, then how many more there are.
std::string queueListing(const engine::JobQueue& queue);

} // namespace kx::ui
