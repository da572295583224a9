#include "decoder/client/contained_decoder.h"
#include "decoder/tiff/loading.h"
#include "engine/conversion_worker.h"
#include "imaging/format_registry.h"
#include "imaging/saving.h"

// What decoding in a separate decoder process costs over decoding in the converting process.
//   decoder_overhead OUT_FOLDER RUNS FILE...
// Converts each FILE to BMP through the conversion worker with the default settings, RUNS
// times with pages decoded in process and RUNS times with them decoded in the decoder
// process, after one untimed conversion each way. Prints one tab-separated line per file:
//   NAME  PAGES  IN_PROCESS_S  CONTAINED_S  RATIO  EXTRA_MS_PER_PAGE
// (NAME the file name; medians in seconds; RATIO = contained / in process), or NAME and
// "failed" when a conversion did not succeed. Exit status 0 when every file converted both ways.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace kx;

// Empties the folder so that every conversion writes fresh files, as a first run would.
void emptyFolder(const std::filesystem::path& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        std::filesystem::remove_all(entry.path(), error);
}

// Seconds one conversion of `input` took, or nothing when it failed. Only the worker's run is
// timed: setting up the job is the same either way.
std::optional<double> convertOnce(const std::string& input, const std::string& outFolder,
                                  const engine::PageSourceFactory& openPages) {
    emptyFolder(outFolder);
    settings::Settings settings;
    settings::applyDefaults(settings, true);
    engine::JobState job;
    engine::JobQueue queue;
    engine::resetJobState(job, queue);
    job.outputFolder = outFolder;
    job.inputFormatKey = settings::inputFormatList().front();
    job.outputFormatKey = "bmp";
    job.freeImageFormat = FIF_BMP;
    job.targetDepth = settings.bmpBpp;
    job.autoDepth = job.targetDepth == 0;
    job.saveFlags = imaging::computeSaveFlags("bmp", settings);
    if (!engine::setInputFile(job, queue, input))
        return std::nullopt;

    engine::Progress progress;
    progress.reset();
    engine::ConversionRun run{settings, job, queue, progress};
    run.openPages = openPages;
    const auto start = std::chrono::steady_clock::now();
    engine::conversionWorker(run);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (progress.count != 1)
        return std::nullopt;
    return elapsed.count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int pageCountOf(const std::string& input) {
    const auto source = decoder::openPagesInProcess(input);
    return source ? source->pageCount() : 0;
}

// Alternates the two ways run by run, so that a change in the machine's load during the
// measurement weighs on both alike.
bool measureFile(const std::string& input, const std::string& outFolder, int runs) {
    const engine::PageSourceFactory inProcess = [](const std::string& path) {
        return decoder::openPagesInProcess(path);
    };
    const engine::PageSourceFactory contained = [](const std::string& path) {
        return decoder::openPagesContained(path);
    };
    std::vector<double> inProcessTimes;
    std::vector<double> containedTimes;
    bool ok = convertOnce(input, outFolder, inProcess) && convertOnce(input, outFolder, contained);
    for (int run = 0; ok && run < runs; ++run) {
        const auto a = convertOnce(input, outFolder, inProcess);
        const auto b = convertOnce(input, outFolder, contained);
        ok = a && b;
        if (ok) {
            inProcessTimes.push_back(*a);
            containedTimes.push_back(*b);
        }
    }
    const std::string name = std::filesystem::path(input).filename().string();
    if (!ok) {
        std::printf("%s\tfailed\n", name.c_str());
        return false;
    }
    const double a = median(inProcessTimes);
    const double b = median(containedTimes);
    const int pages = pageCountOf(input);
    std::printf("%s\t%d\t%.4f\t%.4f\t%.3f\t%.2f\n", name.c_str(), pages, a, b, a > 0 ? b / a : 0.0,
                pages > 0 ? (b - a) * 1000 / pages : 0.0);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUT_FOLDER RUNS FILE...\n", argv[0]);
        return 2;
    }
    std::string outFolder = std::filesystem::absolute(argv[1]).string();
    if (!outFolder.ends_with('/'))
        outFolder += '/';
    std::error_code error;
    std::filesystem::create_directories(outFolder, error);
    const int runs = std::clamp(std::atoi(argv[2]), 1, 100);
    bool allOk = true;
    for (int index = 3; index < argc; ++index)
        allOk =
            measureFile(std::filesystem::absolute(argv[index]).string(), outFolder, runs) && allOk;
    return allOk ? 0 : 1;
}
