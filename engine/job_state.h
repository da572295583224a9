#pragma once

#include "imaging/save_target.h"

#include <cstdint>
#include <string>
#include <unordered_map>

namespace kx::engine {

// One queued conversion job.
struct Job {
    int32_t status = 1; // 1 = waiting
    std::string subfolder;
};

// Input paths to convert, keyed by full path so a path is queued at most once.
using JobQueue = std::unordered_map<std::string, Job>;

// The run, job and page values shared by the starters and the engine. Run fields are fixed
// before the worker starts; job and page fields are written by the worker alone. The saving
// choices and page facts are those of imaging::SaveTarget.
struct JobState : imaging::SaveTarget {
    std::string programFolder;        // with trailing "/"
    std::string commandLineInputPath; // the -i value; also the input root folder
    std::string inputPath;            // job
    std::string subfolder;            // job
    std::string outputFolder;         // run, ends with "/"
    std::string outputPath;           // page, without page suffix
    std::string inputFormatKey;       // run
    int32_t randomNumber = 0;         // %rnd%
    int32_t sequenceNumber = 0;       // %n%
    int32_t pageWidth = 0;            // page, after rotation and resizing
    int32_t pageHeight = 0;           // page
    int32_t frameNumber = 0;          // page, 1-based
    bool consoleMode = false;
    std::string debugKeyword; // "DEBUG" or empty
    int8_t preferencesStartPage = 0;
    std::string acceptedExtensions; // from the format registry, comma-separated
};

// Empties the job state and the queue, draws a new random number and restarts the
// sequence at 1. The program folder is that of the running executable.
void resetJobState(JobState& state, JobQueue& queue);

// A uniformly random number from 1 to 99999, the value of %rnd%.
int32_t drawRandomNumber();

// Queues `path` as the one conversion job. Refuses (and leaves the queue alone) a file of
// exactly 0 bytes and an extension that is not an accepted input extension; a missing path
// passes the size test and is refused later when it cannot be loaded.
bool setInputFile(JobState& state, JobQueue& queue, const std::string& path);

// The folder of `path` below the input root folder, with trailing "/"; empty when either is
// empty or the root does not occur in the folder part.
std::string subfolderOf(const std::string& path, const std::string& rootFolder);

// The process-wide job state and queue.
JobState& globalJobState();
JobQueue& globalJobQueue();

} // namespace kx::engine
