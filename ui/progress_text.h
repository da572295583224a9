#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace kx::ui {

// Milliseconds as "hh:mm:ss", with "Nd:" in front from one day on; below one second
// "00:00:00".
std::string formatDuration(int64_t milliseconds);

// `text` cut to its first and last (capacity - 3) / 2 characters joined by "..." when it has
// more than `capacity` characters; counted in characters, not bytes.
std::string shortenMiddle(const std::string& text, int capacity);

// `text` with its first letter in capitals, as a sentence of its own.
std::string asSentence(const std::string& text);

// Why the file `path` failed as a line of its own: the reason alone when it names the file,
// else the path, ": " and the reason.
std::string failureLine(const std::string& path, const std::string& why);

// Where a run stands, as its worker last reported it.
struct RunPosition {
    int32_t jobIndex = 0; // 1-based job being converted; 0 before the first
    int32_t jobCount = 0;
    int32_t pageIndex = 0; // 1-based page of that job being converted; 0 before its first
    int32_t pageCount = 0; // pages that job converts; 0 until its file is open
    bool operator==(const RunPosition&) const = default;
};

// The whole of a run, in steps of the progress bar.
constexpr int k_runSteps = 1000;

// The steps of a run done before this position: the jobs before the current one and, of the
// current one, its pages before the current page.
int stepsDone(const RunPosition& at);

// What the title counts, as (number, count): the page while a run of one job converts a file
// of several pages, else the job.
std::pair<int32_t, int32_t> titleCount(const RunPosition& at);

// Milliseconds left of a run that took `elapsedMs` for `done` of its k_runSteps, going on at
// the same pace; -1 while nothing is done.
int64_t remainingMs(int done, int64_t elapsedMs);

} // namespace kx::ui
