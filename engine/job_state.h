#pragma once

#include "imaging/save_target.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kx::engine {

// The input files of a run, in the order they were added. Paths are kept end to end in one
// block of text, so that a queue of 100,000 files costs a few megabytes.
class JobQueue {
public:
    struct Entry {
        std::string_view path;
        std::string_view subfolder; // below the input root folder, with trailing "/"; or empty
        std::string_view problem;   // why the entry cannot be converted, found when queued
    };

    // Appends an entry, even for a path already queued.
    void add(std::string_view path, std::string_view subfolder = {}, std::string_view problem = {});
    // Appends an entry unless its path is queued already; false when it was.
    bool addOnce(std::string_view path, std::string_view subfolder = {},
                 std::string_view problem = {});
    bool contains(std::string_view path) const;

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    void clear();
    Entry operator[](size_t index) const;

private:
    // Where an entry's parts lie in m_text, one after the other: any byte may be in them.
    struct Stored {
        size_t start;
        size_t pathSize;
        size_t subfolderSize;
        size_t problemSize;
    };
    std::string m_text; // the parts of every entry, packed so that many entries cost little
    std::vector<Stored> m_entries;
    // Path hashes to entries, kept from the first addOnce on: plain adds need no index.
    std::unordered_multimap<size_t, size_t> m_byHash;
    bool m_indexed = false;
};

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

// True when the lower-cased extension of `path` is one of `acceptedExtensions`.
bool hasAcceptedExtension(const std::string& path, const std::string& acceptedExtensions);

// The folder of `path` below the input root folder, with trailing "/"; empty when either is
// empty or the root does not occur in the folder part.
std::string subfolderOf(const std::string& path, const std::string& rootFolder);

// The process-wide job state and queue.
JobState& globalJobState();
JobQueue& globalJobQueue();

} // namespace kx::engine
