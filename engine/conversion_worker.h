#pragma once

#include "decoder/contained_decoder.h"
#include "decoder/loading.h"
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

namespace kx::engine {

// What the worker reports to its starter. Read and written only under `lock`.
struct Progress {
    std::mutex lock;
    int32_t jobIndex = 0;     // 1-based job being converted
    std::string currentInput; // its input path
    int64_t lastDuration = 0; // ms of the previous job; 0 after a failure
    int32_t count = 0;        // successful jobs, set at the end of the run
    bool running = false;     // cleared by the starter to stop after the current job
    bool paused = false;      // set by the starter while it asks whether to stop
    std::condition_variable resumed;

    // Resets the record for a new run and sets the running flag.
    void reset();
    // Holds the worker before its next page or job while `paused` is set. The starter sets
    // and clears it with setPaused; neither holds `lock` while waiting for the other.
    void setPaused(bool pause);
    void waitWhilePaused();
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
};

// Converts every queued job in turn while the running flag stays set (it is read between
// jobs only), then stores the number of successes in the progress record. Runs on the
// worker thread.
void conversionWorker(ConversionRun& run);

// Converts the job named by `run.job.inputPath`: every selected page through the chain to
// its own output file. True when at least one page was saved and no page that reached saving
// failed.
bool convertFile(ConversionRun& run);

} // namespace kx::engine
