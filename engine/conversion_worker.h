#pragma once

#include "decoder/client/contained_decoder.h"
#include "engine/job_state.h"
#include "engine/watermark.h"
#include "imaging/page_source.h"
#include "imaging/standard_type.h"
#include "settings/settings.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace kx::engine {

// What the worker reports to its starter. Read and written only under `lock`.
struct Progress {
    std::mutex lock;
    int32_t jobIndex = 0;     // 1-based job being converted
    std::string currentInput; // its input path
    int64_t lastDuration = 0; // ms of the previous job; 0 after a failure
    int32_t pageIndex = 0;    // 1-based page of that job being converted; 0 before its first
    int32_t pageCount = 0;    // pages the job converts; 0 until its file is open
    int64_t pagesBegun = 0;   // pages of the run begun so far, over all jobs
    int32_t count = 0;        // successful jobs, set at the end of the run
    std::string problem;      // why the last job that failed failed; empty while none has
    bool running = false;     // cleared by requestStop
    bool paused = false;      // set by the starter while it asks whether to stop
    std::condition_variable resumed;

    // Resets the record for a new run and sets the running flag.
    void reset();
    // Asks the worker to stop once the page it is converting is done. Any thread.
    void requestStop();
    // Holds the worker before its next page or job while `paused` is set. The starter sets
    // and clears it; neither holds `lock` while waiting for the other.
    void setPaused(bool pause);
    // The worker's steps: each waits while paused, records where the run is and returns false
    // when the run is to stop instead. `page` counts from 1 within the job's `pages`.
    bool beginJob(int32_t index, const std::string& input, int64_t previousDuration);
    bool beginPage(int32_t page, int32_t pages);

private:
    // Waits while paused; true when the run goes on. `guard` holds `lock`.
    bool goesOn(std::unique_lock<std::mutex>& guard);
};

// Receives the worker's debug lines; empty when debug output is off.
using DebugSink = std::function<void(std::string_view)>;

// Opens the pages of one input file; null when the file yields no page.
using PageSourceFactory =
    std::function<std::unique_ptr<imaging::PageSource>(const std::string& path)>;

// Everything one conversion run works with. The starter fills the job state's run fields and
// the queue before the worker starts and leaves them, and the settings, alone until it ends.
struct ConversionRun {
    const settings::Settings& settings;
    JobState& job;
    const JobQueue& queue;
    Progress& progress;
    DebugSink debug;
    const PreparedWatermark* watermark = nullptr;
    PageSourceFactory openPages = [](const std::string& path) {
        return decoder::openPagesContained(path);
    };
    // Why no page source can be opened at all (no decoder), or empty; asked when opening fails.
    std::function<std::string()> decoderProblem = [] { return decoder::decoderProblem(); };
    // Told of every job that fails, with its reason; may be empty.
    std::function<void(std::string_view path, const std::string& why)> jobFailed;
    // Each job writes beside its input rather than into the job state's output folder.
    bool besideInputs = false;
    // Hashes of the output paths this run has written, so that no input overwrites another's.
    std::unordered_set<size_t> written;
};

// Converts every queued job in turn, in queue order, until the run is asked to stop (before
// each page), then stores the number of successes in the progress record; a job that fails
// leaves its reason there. A job's subfolder below the output folder is made when needed.
// Runs on the worker thread.
void conversionWorker(ConversionRun& run);

// Converts the job named by `run.job.inputPath`: every selected page through the chain to
// its own output file. True when at least one page was saved and no page that reached saving
// failed; otherwise `why` says what went wrong first ("/in/a.tif is not a TIFF file", "page 2:
// cannot write /out/a[2].bmp: Permission denied"). A run stopped before the file's last page
// leaves the pages written so far and fails the file.
bool convertFile(ConversionRun& run, std::string& why);

} // namespace kx::engine
