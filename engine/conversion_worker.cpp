#include "engine/conversion_worker.h"

#include "base/file_replace.h"
#include "base/paths.h"
#include "decoder/client/contained_decoder.h"
#include "decoder/wire/page_wire.h"
#include "engine/color_adjust.h"
#include "engine/file_type.h"
#include "engine/frame.h"
#include "engine/geometry.h"
#include "engine/naming.h"
#include "engine/page_gate.h"
#include "engine/page_range.h"
#include "engine/untouched_page.h"
#include "imaging/bit_depth.h"
#include "imaging/bitmap.h"
#include "imaging/page_encoding.h"
#include "imaging/page_source.h"
#include "imaging/saving.h"
#include "imaging/standard_type.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <vector>

namespace kx::engine {

namespace {

constexpr int64_t k_minimumDuration = 1000;

void debugLine(const ConversionRun& run, std::string_view line) {
    if (run.debug)
        run.debug(line);
}

// Turns a settings date (local wall-clock seconds counted as if UTC) into a real time.
std::time_t fromLocalDate(settings::Date date) {
    std::time_t asUtc = date;
    std::tm fields{};
    gmtime_r(&asUtc, &fields);
    fields.tm_isdst = -1;
    return std::mktime(&fields);
}

void setModificationTime(const std::string& path, const struct timespec& when) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, when};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Gives every file written for the job the date `File Timestamp` asks for.
void applyFileDate(const ConversionRun& run, const std::vector<std::string>& written) {
    struct timespec when {};
    switch (run.settings.fileTimestamp) {
    case settings::FileTimestamp::Original: {
        struct stat input {};
        if (stat(run.job.inputPath.c_str(), &input) != 0)
            return;
        when = input.st_mtim;
        break;
    }
    case settings::FileTimestamp::Custom:
        when.tv_sec = fromLocalDate(run.settings.customTimestamp);
        break;
    default:
        return;
    }
    for (const std::string& path : written)
        setModificationTime(path, when);
}

// The chain between loading and saving, in its fixed order. `why` is set when a step refuses
// the page.
imaging::Bitmap processPage(ConversionRun& run, imaging::Bitmap page, int index, std::string& why) {
    const settings::Settings& s = run.settings;
    page = rotateImage(std::move(page), s);
    why = resizeProblem(page.get(), s);
    if (!why.empty())
        return nullptr;
    page = resizeImage(std::move(page), s);
    const int width = page ? static_cast<int>(FreeImage_GetWidth(page.get())) : 0;
    const int height = page ? static_cast<int>(FreeImage_GetHeight(page.get())) : 0;
    page = imaging::standardizeGreyscale(std::move(page));
    page = imaging::toneMap(std::move(page));
    flipImage(page.get(), s);
    page = adjustImageColors(std::move(page), s);
    page = greyscaleImage(std::move(page), s);
    page = thresholdImage(std::move(page), s);
    page = ditherImage(std::move(page), s);
    page = drawFrame(std::move(page), s);
    run.job.pageWidth = width;
    run.job.pageHeight = height;
    run.job.frameNumber = index + 1;
    // "%bpp%" in the watermark shows the depth this page will be saved with.
    imaging::resolveTargetDepth(run.job);
    static const PreparedWatermark k_nothingPrepared;
    page = drawWatermark(std::move(page), s, run.job,
                         run.watermark ? *run.watermark : k_nothingPrepared);
    return imaging::convertToTargetDepth(std::move(page), run.job);
}

struct FileResult {
    int pagesSaved = 0;
    int pagesFailed = 0;
    std::vector<std::string> written;
    int firstFailedPage = 0; // 1-based; 0 while no page failed
    std::string firstProblem;
    int stoppedBefore = 0; // 1-based page the run was stopped before; 0 when it was not
    int pagesChosen = 0;

    void fail(const ConversionRun& run, int index, const std::string& why) {
        debugLine(run, "[ERROR] Page " + std::to_string(index + 1) + ": " + why);
        if (pagesFailed++ == 0) {
            firstFailedPage = index + 1;
            firstProblem = why;
        }
    }
};

// Waits while the run is paused; false when it is to stop before page `index`.
bool mayConvertPage(ConversionRun& run, int index, int first, int end, FileResult& result) {
    waitAtPageGate();
    if (run.progress.beginPage(index - first + 1, end - first))
        return true;
    result.stoppedBefore = index + 1;
    return false;
}

// Names the page's output file and writes it with `save`, which gets the path and sets the
// reason when it fails.
void savePageFile(ConversionRun& run, int index, bool suffix, FileResult& result,
                  const std::function<bool(const std::string&, std::string&)>& save) {
    run.job.outputPath = outputPathForPage(run.settings, run.job);
    const std::string path =
        suffix ? withPageSuffix(run.job.outputPath, index + 1, run.job.outputFormatKey)
               : run.job.outputPath;
    std::string reason = outputPathProblem(path, run.job.outputFolder, run.job.inputPath);
    const size_t pathHash = std::hash<std::string>{}(path);
    if (reason.empty() && run.written.contains(pathHash))
        reason = "the output file " + path + " was written by this run already";
    if (reason.empty() && save(path, reason)) {
        // Each file by the name it was written under, page suffix and all.
        debugLine(run, "[OK] Saving As: " + path);
        ++result.pagesSaved;
        result.written.push_back(path);
        run.written.insert(pathHash);
    } else {
        result.fail(run, index, reason);
    }
}

// False for a page that decoded with errors, which is not passed off as converted.
bool decodedCleanly(ConversionRun& run, int index, const imaging::PageInfo& info,
                    FileResult& result) {
    if (info.problem.empty())
        return true;
    result.fail(run, index, info.problem);
    return false;
}

// Every page through the chain here.
void convertPagesHere(ConversionRun& run, imaging::PageSource& source, int first, int end,
                      bool suffix, FileResult& result) {
    for (int index = first; index < end && mayConvertPage(run, index, first, end, result);
         ++index) {
        imaging::PageInfo info;
        imaging::Bitmap page = source.loadPage(index, info);
        run.job.sourceDepth = page ? static_cast<int>(FreeImage_GetBPP(page.get())) : 0;
        run.job.sourceGrey = page && imaging::isGreyscale(page.get());
        if (page && (FreeImage_GetWidth(page.get()) == 0 || FreeImage_GetHeight(page.get()) == 0))
            continue; // an empty page has nothing to convert
        if (!decodedCleanly(run, index, info, result))
            continue;
        std::string refused;
        page = processPage(run, std::move(page), index, refused);
        if (!refused.empty()) {
            result.fail(run, index, refused);
            continue;
        }
        savePageFile(run, index, suffix, result, [&](const std::string& path, std::string& why) {
            return imaging::savePage(page.get(), path, run.job, run.settings, why);
        });
    }
}

// Unnamed files made ahead in the folder the pages' files go to, for the decoders to write
// the pages straight into; each is named once its page's name is known.
class PendingOutputs {
public:
    // Files are made in the folder of `path`, where the first page's file is to go; none when
    // that path is refused, so that nothing is made where no file may be written.
    PendingOutputs(const std::string& path, const JobState& job)
        : m_folder(base::folderPart(path)),
          m_usable(outputPathProblem(path, job.outputFolder, job.inputPath).empty()) {}

    // A file for page `index`, or -1 when the folder has no unnamed files.
    int fileFor(int index) {
        base::PendingFile file;
        if (!m_usable || !(m_usable = file.create(m_folder)))
            return -1;
        const int fd = file.fd();
        m_files[index] = std::move(file);
        return fd;
    }

    // Gives page `index`'s file, `size` bytes, the name `path`; a name in another folder than
    // the one foreseen gets a copy.
    bool save(int index, uint64_t size, const std::string& path, std::string& why) {
        const auto found = m_files.find(index);
        if (found == m_files.end()) {
            why = "cannot write " + path + ": the page's file is gone";
            return false;
        }
        base::PendingFile file = std::move(found->second);
        m_files.erase(found);
        if (base::folderPart(path) == m_folder)
            return file.commit(path, base::Flush::Lazily, why);
        return base::replaceFile(
            path, [&](int fd) { return base::copyFileContent(file.fd(), size, fd); },
            base::Flush::Lazily, why);
    }

private:
    std::string m_folder;
    bool m_usable;
    std::map<int, base::PendingFile> m_files;
};

// Every page as the finished file the decoder made of it: the chain leaves pages alone.
void convertPagesEncoded(ConversionRun& run, imaging::PageSource& source, int first, int end,
                         bool suffix, PendingOutputs& outputs, FileResult& result) {
    for (int index = first; index < end && mayConvertPage(run, index, first, end, result);
         ++index) {
        imaging::PageInfo info;
        const imaging::EncodedPage encoded = source.loadEncodedPage(index, info);
        run.job.sourceDepth = encoded.sourceDepth;
        run.job.sourceGrey = encoded.sourceGrey;
        if (encoded.sourceDepth > 0 && (encoded.width == 0 || encoded.height == 0))
            continue; // an empty page has nothing to convert
        if (!encoded.hasFile() && info.problem.empty())
            info.problem = "the page could not be decoded";
        if (!decodedCleanly(run, index, info, result))
            continue;
        run.job.pageWidth = static_cast<int32_t>(encoded.width);
        run.job.pageHeight = static_cast<int32_t>(encoded.height);
        run.job.frameNumber = index + 1;
        imaging::resolveTargetDepth(run.job);
        savePageFile(run, index, suffix, result, [&](const std::string& path, std::string& why) {
            if (encoded.inOutput())
                return outputs.save(index, encoded.size(), path, why);
            return base::replaceFile(
                path, [&](int fd) { return encoded.writeTo(fd); }, base::Flush::Lazily, why);
        });
    }
}

// A file opened, with its pages planned and the first ones asked for: what a job needs before
// its first page arrives, so that it can be made ready while the job before it runs.
struct OpenedFile {
    std::string path;
    std::unique_ptr<imaging::PageSource> source; // null when the file gave no pages
    PageRange range;
    bool suffix = false;
    bool encoded = false;
    std::unique_ptr<PendingOutputs> outputs;
};

// Opens the file of `job` (its input path, subfolder and output folder) and asks for its
// first pages.
OpenedFile openFile(ConversionRun& run, const JobState& job) {
    OpenedFile file;
    file.path = job.inputPath;
    file.source = run.openPages(job.inputPath);
    if (!file.source)
        return file;
    imaging::PageSource& source = *file.source;
    const int count = source.pageCount();
    file.range = choosePageRange(run.settings.tiffFrameLoading, count);
    file.suffix = needsPageSuffix(run.settings, count);
    file.outputs = std::make_unique<PendingOutputs>(outputPathForPage(run.settings, job), job);
    PendingOutputs& outputs = *file.outputs;
    file.encoded = chainLeavesPagesUntouched(run.settings) &&
                   source.encodePages(saveRecipeOf(job, run.settings),
                                      [&outputs](int index) { return outputs.fileFor(index); });
    source.plan(file.range.first, file.range.end);
    return file;
}

FileResult convertPages(ConversionRun& run, OpenedFile& file) {
    FileResult result;
    const PageRange range = file.range;
    result.pagesChosen = range.end - range.first;
    if (file.encoded)
        convertPagesEncoded(run, *file.source, range.first, range.end, file.suffix, *file.outputs,
                            result);
    else
        convertPagesHere(run, *file.source, range.first, range.end, file.suffix, result);
    return result;
}

// Why the file's pages came to nothing, with the page named when the file has several.
std::string fileResultProblem(const FileResult& result) {
    if (result.stoppedBefore > 0)
        return "the run was stopped before page " + std::to_string(result.stoppedBefore);
    if (result.pagesFailed == 0)
        return "no page of the file has any pixels";
    if (result.pagesChosen > 1)
        return "page " + std::to_string(result.firstFailedPage) + ": " + result.firstProblem;
    return result.firstProblem;
}

// Why `path` gave no pages at all.
std::string openProblem(const ConversionRun& run, const std::string& path) {
    // Without a decoder no page can be had; say so rather than fail without a word.
    std::string why = run.decoderProblem ? run.decoderProblem() : std::string();
    if (!why.empty()) {
        debugLine(run, "[ERROR] Page 1: " + why);
        return why;
    }
    why = inputFileProblem(path);
    if (why.empty())
        why = "no page of " + path + " can be read";
    debugLine(run, "[ERROR] " + why);
    return why;
}

// Converts the pages of a file opened by openFile; see convertFile.
bool convertOpenedFile(ConversionRun& run, OpenedFile& file, std::string& why) {
    if (!file.source) {
        why = openProblem(run, run.job.inputPath);
        return false;
    }
    const FileResult result = convertPages(run, file);
    // Pages after a cut in the directory chain are missing: the file is not converted, though
    // the pages that could be read were written. A stopped run does not wait to find out.
    const std::string fileProblem = result.stoppedBefore > 0 ? "" : file.source->fileProblem();
    if (!fileProblem.empty())
        debugLine(run, "[ERROR] " + fileProblem);
    const std::string notes = file.source->fileNotes();
    for (size_t start = 0, end = 0; start < notes.size(); start = end + 1) {
        end = std::min(notes.find('\n', start), notes.size());
        debugLine(run, "[NOTE] " + notes.substr(start, end - start));
    }
    file.source.reset();
    applyFileDate(run, result.written);
    const bool converted = result.pagesSaved > 0 && result.pagesFailed == 0 &&
                           result.stoppedBefore == 0 && fileProblem.empty();
    if (!converted)
        why = result.pagesFailed == 0 && !fileProblem.empty() ? fileProblem
                                                              : fileResultProblem(result);
    return converted;
}

// The folders from the output folder down to `subfolder` that do not exist yet, outermost
// first; made by makeFolders and left alone once a page is written into them.
std::vector<std::string> missingFolders(const std::string& outputFolder,
                                        const std::string& subfolder) {
    std::vector<std::string> missing;
    for (size_t slash = subfolder.find('/'); slash != std::string::npos;
         slash = subfolder.find('/', slash + 1)) {
        const std::string folder = outputFolder + subfolder.substr(0, slash);
        struct stat facts {};
        if (stat(folder.c_str(), &facts) != 0)
            missing.push_back(folder);
    }
    return missing;
}

bool makeFolders(const std::vector<std::string>& folders, std::string& why) {
    for (const std::string& folder : folders) {
        if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            why = "cannot make the folder " + folder + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// Removes the folders a job made and wrote nothing into, innermost first.
void removeEmptyFolders(const std::vector<std::string>& folders) {
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        rmdir(folder->c_str());
}

// The job state of queue entry `index`, which has not begun yet.
JobState jobStateOf(const ConversionRun& run, size_t index) {
    JobState job = run.job;
    const JobQueue::Entry entry = run.queue[index];
    job.inputPath = entry.path;
    job.subfolder = entry.subfolder;
    if (run.besideInputs)
        job.outputFolder = base::folderPart(job.inputPath);
    return job;
}

// Opens the next job's file while this job's one page is decoded, so that the second decoder
// has work too; only after a file of one page, so that no more than two decoders are busy.
void openAhead(ConversionRun& run, size_t next, const OpenedFile& current, OpenedFile& ahead) {
    if (!current.source || current.range.end - current.range.first != 1 ||
        next >= run.queue.size() || !run.queue[next].problem.empty())
        return;
    ahead = openFile(run, jobStateOf(run, next));
}

// Converts the current job, queue entry `index`, with its file when it was opened ahead;
// `why` stays empty when it was converted.
void convertJob(ConversionRun& run, size_t index, OpenedFile& ahead, std::string& why) {
    const bool keepsSubfolder = run.settings.keepSubfolders != 0 && !run.job.subfolder.empty();
    const std::vector<std::string> made =
        keepsSubfolder ? missingFolders(run.job.outputFolder, run.job.subfolder)
                       : std::vector<std::string>();
    if (!makeFolders(made, why)) {
        removeEmptyFolders(made);
        return;
    }
    OpenedFile file = ahead.path == run.job.inputPath ? std::move(ahead) : openFile(run, run.job);
    ahead = OpenedFile();
    openAhead(run, index + 1, file, ahead);
    if (!convertOpenedFile(run, file, why) && why.empty())
        why = "the file was not converted";
    if (!why.empty())
        removeEmptyFolders(made);
}

} // namespace

void Progress::reset() {
    std::lock_guard guard(lock);
    jobIndex = 0;
    currentInput.clear();
    lastDuration = 0;
    pageIndex = 0;
    pageCount = 0;
    pagesBegun = 0;
    count = 0;
    problem.clear();
    running = true;
    paused = false;
}

void Progress::requestStop() {
    {
        std::lock_guard guard(lock);
        running = false;
    }
    resumed.notify_all();
}

void Progress::setPaused(bool pause) {
    {
        std::lock_guard guard(lock);
        paused = pause;
    }
    resumed.notify_all();
}

bool Progress::goesOn(std::unique_lock<std::mutex>& guard) {
    resumed.wait(guard, [this] { return !paused || !running; });
    return running;
}

bool Progress::beginJob(int32_t index, const std::string& input, int64_t previousDuration) {
    std::unique_lock guard(lock);
    if (!goesOn(guard))
        return false;
    jobIndex = index;
    currentInput = input;
    lastDuration = previousDuration;
    pageIndex = 0;
    pageCount = 0;
    return true;
}

bool Progress::beginPage(int32_t page, int32_t pages) {
    std::unique_lock guard(lock);
    if (!goesOn(guard))
        return false;
    pageIndex = page;
    pageCount = pages;
    ++pagesBegun;
    return true;
}

bool convertFile(ConversionRun& run, std::string& why) {
    OpenedFile file = openFile(run, run.job);
    return convertOpenedFile(run, file, why);
}

void conversionWorker(ConversionRun& run) {
    // What an earlier run ended while writing (SIGKILL, a power cut) left under hidden names.
    if (!run.job.outputFolder.empty() && !run.besideInputs)
        base::sweepAbandonedWrites(run.job.outputFolder, std::time(nullptr));
    int32_t successes = 0;
    int64_t duration = 0;
    OpenedFile ahead; // the next job's file, opened while the job before it ran
    for (size_t index = 0; index < run.queue.size(); ++index) {
        const JobQueue::Entry entry = run.queue[index];
        const std::string path(entry.path);
        if (!run.progress.beginJob(static_cast<int32_t>(index + 1), path, duration))
            break;
        run.job.inputPath = path;
        run.job.subfolder = entry.subfolder;
        if (run.besideInputs)
            run.job.outputFolder = base::folderPart(path);
        debugLine(run, "Processing: " + path);

        const auto start = std::chrono::steady_clock::now();
        std::string why(entry.problem);
        if (why.empty()) {
            if (run.debug)
                debugLine(run, "File Format: " + detectFileType(path));
            convertJob(run, index, ahead, why);
        }
        if (why.empty()) {
            ++successes;
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            duration = std::max<int64_t>(elapsed.count(), k_minimumDuration);
            run.job.randomNumber = drawRandomNumber();
            ++run.job.sequenceNumber;
        } else {
            duration = 0;
            debugLine(run, "[ERROR] Unable to convert the file!");
            if (run.jobFailed)
                run.jobFailed(path, why);
            std::lock_guard guard(run.progress.lock);
            run.progress.problem = why;
        }
    }
    decoder::releaseIdleDecoders();
    std::lock_guard guard(run.progress.lock);
    run.progress.count = successes;
}

} // namespace kx::engine
