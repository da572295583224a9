#include "core/console_run.h"

#include "base/paths.h"
#include "base/text.h"
#include "base/text_format.h"
#include "base/version.h"
#include "core/instance_lock.h"
#include "core/keywords.h"
#include "decoder/client/contained_decoder.h"
#include "engine/conversion_worker.h"
#include "engine/drawing_module.h"
#include "engine/input_list.h"
#include "engine/input_walk.h"
#include "engine/run_check.h"
#include "engine/run_control.h"
#include "engine/run_values.h"
#include "engine/watermark.h"
#include "settings/string_table.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace kx::core {

namespace {

using settings::Settings;

// A validation step's verdict: the text after "Error: ", or nothing.
using Problem = std::optional<std::string>;

// The lines of the files that failed, kept in a temporary file so that a run of many files
// needs no more memory when many of them fail; in memory when no temporary file can be had.
// The file is made at the first failure, so that a clean run never touches the disk for it.
class FailureLog {
public:
    FailureLog() = default;
    ~FailureLog() {
        if (m_file)
            std::fclose(m_file);
    }
    FailureLog(const FailureLog&) = delete;
    FailureLog& operator=(const FailureLog&) = delete;

    void add(std::string line) {
        // A line break inside a path must not split its line when it is read back.
        std::replace(line.begin(), line.end(), '\n', ' ');
        if (!std::exchange(m_opened, true))
            m_file = std::tmpfile();
        if (!m_file || std::fprintf(m_file, "%s\n", line.c_str()) < 0)
            m_lines.push_back(std::move(line));
    }

    template <typename Visit> void forEach(Visit visit) {
        if (m_file && std::fflush(m_file) == 0 && std::fseek(m_file, 0, SEEK_SET) == 0) {
            char* line = nullptr;
            size_t capacity = 0;
            for (ssize_t length; (length = getline(&line, &capacity, m_file)) > 0;)
                visit(std::string_view(line, static_cast<size_t>(length - 1)));
            std::free(line);
        }
        for (const std::string& line : m_lines)
            visit(line);
    }

private:
    FILE* m_file = nullptr;
    bool m_opened = false;
    std::vector<std::string> m_lines;
};

class ConsoleRun {
public:
    ConsoleRun(Settings& settings, engine::JobState& job, engine::JobQueue& queue,
               const ParseResult& parsed, int stopFd, Console& console)
        : m_s(settings), m_job(job), m_queue(queue), m_parsed(parsed), m_quiet(parsed.quiet),
          m_stopFd(stopFd), m_console(console), m_debug(job.debugKeyword == "DEBUG"),
          m_manyInputs(namesManyInputs(parsed)) {}

    void run();

private:
    void say(std::string_view line) { m_console.printLine(line); }
    void status(std::string_view line) {
        if (!m_quiet)
            say(line);
    }
    void debug(std::string_view line) {
        if (m_debug)
            say(line);
    }
    void debug(std::string_view label, long long number) {
        debug(std::string(label) + std::to_string(number));
    }

    static bool namesManyInputs(const ParseResult& parsed);
    void endIfStopped();
    Problem checkInputFile();
    Problem checkInputs();
    Problem checkOutputFolder();
    Problem checkFormats();
    Problem checkOutputOptions();
    Problem checkTransforms();
    void printFrame();
    Problem checkWatermark();
    void printNaming();
    void fixSaveParameters();
    int queueJob();
    int queueInputs(Problem& problem);
    Problem queueList(const std::string& list, const engine::InputWalk& walk);
    int convert();
    bool waitForWorker(int done, engine::Progress& progress);
    void reportFailures();

    Settings& m_s;
    engine::JobState& m_job;
    engine::JobQueue& m_queue;
    const ParseResult& m_parsed;
    bool m_quiet;
    int m_stopFd;
    Console& m_console;
    bool m_debug;
    bool m_manyInputs;
    bool m_besideInputs = false;
    // The settings' first problem, known once the output format is; each check step words
    // its own after printing what it checked.
    engine::RunProblem m_settingsProblem = engine::RunProblem::None;
    FailureLog m_failures;
    engine::DrawingSupport m_drawing;
    engine::PreparedWatermark m_watermark;
};

std::string twoDecimals(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
    return text;
}

bool isRegularFileWithData(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) &&
           std::filesystem::file_size(path, error) > 0 && !error;
}

void ConsoleRun::run() {
    status(settings::lookupText("General", "Preparing"));
    // Every page would fail without the decoder; debug output says so before anything else.
    if (m_debug) {
        if (const std::string problem = decoder::decoderProblem(); !problem.empty())
            debug("[ERROR] " + problem);
        if (const std::string note = runtimeFolderNote(); !note.empty())
            debug(note);
    }
    for (auto step : {m_manyInputs ? &ConsoleRun::checkInputs : &ConsoleRun::checkInputFile,
                      &ConsoleRun::checkOutputFolder, &ConsoleRun::checkFormats,
                      &ConsoleRun::checkOutputOptions, &ConsoleRun::checkTransforms}) {
        if (Problem problem = (this->*step)()) {
            say("Error: " + *problem);
            return;
        }
    }
    printFrame();
    if (Problem problem = checkWatermark()) {
        say("Error: " + *problem);
        return;
    }
    printNaming();
    fixSaveParameters();

    status(settings::lookupText("General", "Importing"));
    Problem listProblem;
    const int imported = m_manyInputs ? queueInputs(listProblem) : queueJob();
    if (listProblem) {
        say("Error: " + *listProblem);
        return;
    }
    status(
        base::formatText(settings::lookupText("Msg", "Import complete"), std::to_string(imported)));
    if (imported == 0) {
        say(settings::lookupText("Msg", "Conversion is not complete"));
        say(settings::lookupText("Msg", "Empty input files"));
        return;
    }
    status(settings::lookupText("General", "Converting"));
    const int converted = convert();
    if (converted != 0) {
        status(settings::lookupText("Msg", "Conversion complete"));
        status(base::formatText(settings::lookupText("Msg", "Files converted"),
                                std::to_string(converted), std::to_string(imported)));
    } else {
        say(settings::lookupText("Msg", "Conversion is not complete"));
        if (m_manyInputs)
            status(base::formatText(settings::lookupText("Msg", "Files converted"), "0",
                                    std::to_string(imported)));
    }
    // Whenever the inputs came from a list, a folder or several -i, each file not converted
    // gets its line, even the only one queued.
    if (m_manyInputs)
        reportFailures();
}

bool ConsoleRun::namesManyInputs(const ParseResult& parsed) {
    std::error_code error;
    return !parsed.inputLists.empty() || parsed.inputs.size() > 1 ||
           (parsed.inputs.size() == 1 && std::filesystem::is_directory(parsed.inputs[0], error));
}

// A stop signal that came while the run was being prepared ends it before it converts.
void ConsoleRun::endIfStopped() {
    pollfd stop{m_stopFd, POLLIN, 0};
    if (m_stopFd < 0 || poll(&stop, 1, 0) <= 0)
        return;
    say(settings::lookupText("Msg", "Conversion is not complete"));
    std::fflush(stdout);
    engine::endAtOnce();
}

// A script reads from these lines which files to try again.
void ConsoleRun::reportFailures() {
    m_failures.forEach(
        [this](std::string_view line) { say("Not converted: " + std::string(line)); });
}

Problem ConsoleRun::checkInputFile() {
    const std::string path = m_job.commandLineInputPath;
    debug("Input: " + path);
    if (base::extensionOf(path).empty() || !isRegularFileWithData(path))
        return "Invalid input file";
    m_job.inputPath = path;
    m_job.commandLineInputPath.clear();
    return std::nullopt;
}

// Inputs are checked one by one as they are queued, where each one that fails is reported;
// only the lists must be readable.
Problem ConsoleRun::checkInputs() {
    for (const std::string& input : m_parsed.inputs)
        debug("Input: " + input);
    for (const std::string& list : m_parsed.inputLists) {
        debug("Input list: " + list);
        if (list != "-" && access(list.c_str(), R_OK) != 0)
            return "Cannot read the input list " + list + ": " + std::strerror(errno);
    }
    m_job.commandLineInputPath.clear();
    return std::nullopt;
}

Problem ConsoleRun::checkOutputFolder() {
    std::string folder = m_job.outputFolder;
    // Many inputs without an output folder are each converted beside themselves.
    if (m_manyInputs && folder.empty()) {
        debug("Output: beside each input");
        m_besideInputs = true;
        return std::nullopt;
    }
    if (folder.empty())
        folder = base::folderPart(m_job.inputPath);
    debug("Output: " + folder);
    if (folder.starts_with(".."))
        return "Incorrect output folder";
    if (!folder.starts_with("/")) {
        // Relative folders, the empty one included, are taken from the program's folder.
        if (folder.starts_with("./"))
            folder.erase(0, 2);
        folder = m_job.programFolder + folder;
    }
    if (!folder.ends_with("/"))
        folder += "/";
    if (engine::outputFolderProblem(folder) != engine::RunProblem::None)
        return "Invalid output folder";
    m_job.outputFolder = folder;
    return std::nullopt;
}

Problem ConsoleRun::checkFormats() {
    if (m_job.inputFormatKey.empty())
        m_job.inputFormatKey = settings::inputFormatList().front();
    if (m_job.outputFormatKey.empty())
        m_job.outputFormatKey = settings::outputFormatList().front();
    debug("Conversion: " + m_job.outputFormatKey);
    m_settingsProblem = engine::runSettingsProblem(m_s, m_job.outputFormatKey);
    if (m_settingsProblem == engine::RunProblem::InvalidConversionType)
        return "Invalid conversion type";

    // The registry offers TIFF input and BMP output only, so theirs are the only options a
    // run can use.
    debug("TIFF Frame Loading: " + keywordOf(KeywordKind::FrameLoading, m_s.tiffFrameLoading));
    return std::nullopt;
}

Problem ConsoleRun::checkOutputOptions() {
    const std::string& key = m_job.outputFormatKey;
    const int32_t Settings::*field = engine::depthSettingOf(key);
    const int32_t bpp = field ? m_s.*field : 0;
    debug(base::upperCase(key) + " BPP: ", bpp);
    if (key == "bmp") {
        debug("BMP Compression: " + keywordOf(KeywordKind::Compression, m_s.bmpCompression, "bmp"));
        debug("BMP Color Table: " + keywordOf(KeywordKind::BmpColorTable, m_s.bmpColorTable));
    }
    if (m_settingsProblem == engine::RunProblem::InvalidDepth)
        return "Invalid " + key + "-bpp value";
    return std::nullopt;
}

Problem ConsoleRun::checkTransforms() {
    if (m_s.doImageRotation) {
        debug("Image Rotation Type: " +
              keywordOf(KeywordKind::RotationType, m_s.imageRotationType));
        debug("Image Rotation: ", m_s.imageRotation);
        debug("Image Rotation Back Color: " + m_s.imageRotationBackColor);
    }
    if (m_s.doImageResize) {
        debug("Width: " + std::to_string(m_s.imageWidth) + " " +
              keywordOf(KeywordKind::SizeUnit, m_s.imageWidthUnit));
        if (m_settingsProblem == engine::RunProblem::InvalidWidth)
            return "Invalid width value";
        debug("Height: " + std::to_string(m_s.imageHeight) + " " +
              keywordOf(KeywordKind::SizeUnit, m_s.imageHeightUnit));
        if (m_settingsProblem == engine::RunProblem::InvalidHeight)
            return "Invalid height value";
        debug("Keep Aspect Ratio: ", m_s.keepAspectRatio);
        debug("Image Resize Type: " + keywordOf(KeywordKind::ResizeType, m_s.imageResizeType));
        debug("Image Resize Algorithm: " +
              keywordOf(KeywordKind::ResizeAlgorithm, m_s.imageResizeAlgorithm));
    }
    debug("Flip Horizontal: ", m_s.doImageFlipHorizontal);
    debug("Flip Vertical: ", m_s.doImageFlipVertical);
    if (m_s.doImageColorCorrection) {
        debug("Brightness: ", m_s.imageBrightness);
        if (m_settingsProblem == engine::RunProblem::InvalidBrightness)
            return "Invalid brightness value";
        debug("Contrast: ", m_s.imageContrast);
        if (m_settingsProblem == engine::RunProblem::InvalidContrast)
            return "Invalid contrast value";
        debug("Gamma: " + twoDecimals(m_s.imageGamma));
        if (m_settingsProblem == engine::RunProblem::InvalidGamma)
            return "Invalid gamma value";
        debug("Invert: ", m_s.imageInvert);
    }
    debug("Greyscale: ", m_s.doImageGreyscale);
    if (m_s.doImageThreshold)
        debug("Image Threshold: ", m_s.imageThreshold);
    if (m_s.doImageDither)
        debug("Image Dithering Algorithm: " +
              keywordOf(KeywordKind::DitherAlgorithm, m_s.imageDitherAlgorithm));
    return std::nullopt;
}

void ConsoleRun::printFrame() {
    debug("Frame: " + keywordOf(KeywordKind::FrameType, m_s.doFrame));
    if (m_s.doFrame != settings::FrameType::Solid)
        return;
    debug("Frame left: ", m_s.solidLeft);
    debug("Frame right: ", m_s.solidRight);
    debug("Frame top: ", m_s.solidTop);
    debug("Frame bottom: ", m_s.solidBottom);
    debug("Frame left color: " + m_s.solidLeftColor);
    debug("Frame right color: " + m_s.solidRightColor);
    debug("Frame top color: " + m_s.solidTopColor);
    debug("Frame bottom color: " + m_s.solidBottomColor);
    debug("Frame opacity: ", m_s.solidOpacity);
}

Problem ConsoleRun::checkWatermark() {
    debug("Watermark: " + keywordOf(KeywordKind::WatermarkType, m_s.doWatermark));
    // Drawing needs the drawing module (and Qt behind it); plain conversions never load it.
    std::string why;
    if ((m_s.doFrame != settings::FrameType::None ||
         m_s.doWatermark != settings::WatermarkType::None) &&
        !m_drawing.start(why))
        return "Frames and watermarks cannot be drawn: " + why;
    if (m_s.doWatermark == settings::WatermarkType::Text) {
        debug("Watermark text: " + m_s.text);
        debug("Watermark font: " + m_s.font);
        debug("Watermark font size: ", m_s.fontSize);
        debug("Watermark font leading: ", m_s.fontLeading);
        debug("Watermark font color: " + m_s.fontColor);
        debug("Watermark font style: " + keywordOf(KeywordKind::FontStyle, m_s.fontStyle));
        debug("Watermark font effect: " + keywordOf(KeywordKind::FontEffect, m_s.fontEffect));
        debug("Watermark text antialiasing: ", m_s.textAntialiasing);
        debug("Watermark text alignment: " +
              keywordOf(KeywordKind::TextAlignment, m_s.textAlignment));
        debug("Watermark text padding: ", m_s.textPadding);
        debug("Watermark text opacity: ", m_s.textOpacity);
        debug("Watermark background color: " + m_s.backColor);
        debug("Watermark background opacity: ", m_s.backOpacity);
        debug("Watermark boundary: " + keywordOf(KeywordKind::Boundary, m_s.textBoundary));
        debug("Watermark position: " + keywordOf(KeywordKind::Position, m_s.textPosition));
        debug("Watermark offset (x/y): " + std::to_string(m_s.textXOffset) + "/" +
              std::to_string(m_s.textYOffset));
        debug("Watermark rotation: ", m_s.textRotation);
        debug("Watermark size/mode: " + keywordOf(KeywordKind::WatermarkSize, m_s.textSize));
        if (engine::prepareWatermark(m_s, m_watermark) != engine::WatermarkProblem::None)
            return "Invalid watermark font";
    } else if (m_s.doWatermark == settings::WatermarkType::Image) {
        debug("Watermark image: " + m_s.image);
        debug("Watermark greyscale: ", m_s.imageGreyscale);
        debug("Watermark opacity: ", m_s.imageOpacity);
        debug("Watermark boundary: " + keywordOf(KeywordKind::Boundary, m_s.imageBoundary));
        debug("Watermark position: " + keywordOf(KeywordKind::Position, m_s.imagePosition));
        debug("Watermark offset (x/y): " + std::to_string(m_s.imageXOffset) + "/" +
              std::to_string(m_s.imageYOffset));
        debug("Watermark rotation: ", m_s.watermarkImageRotation);
        debug("Watermark size/mode: " + keywordOf(KeywordKind::WatermarkSize, m_s.imageSize));
        if (engine::prepareWatermark(m_s, m_watermark) != engine::WatermarkProblem::None) {
            debug("[ERROR] " + m_watermark.problem);
            return "Invalid watermark image";
        }
    }
    return std::nullopt;
}

void ConsoleRun::printNaming() {
    debug("Filename Mask: " + m_s.filenameMask);
    debug("File Timestamp: " + keywordOf(KeywordKind::FileTimestamp, m_s.fileTimestamp));
    if (m_s.fileTimestamp == settings::FileTimestamp::Custom)
        debug("Custom Timestamp: ", m_s.customTimestamp);
    debug("Keep Subfolders: ", m_s.keepSubfolders);
}

void ConsoleRun::fixSaveParameters() {
    engine::setRunValues(m_job, m_s);
}

int ConsoleRun::queueJob() {
    const std::string extension = base::lowerCase(base::extensionOf(m_job.inputPath));
    if (extension == "txt" || extension == "lst")
        return 0; // list files are not read here
    return engine::setInputFile(m_job, m_queue, m_job.inputPath) ? 1 : 0;
}

int ConsoleRun::queueInputs(Problem& problem) {
    engine::InputWalk walk;
    walk.acceptedExtensions = m_job.acceptedExtensions;
    // Beside its input, a file's subfolder is where it already is.
    walk.keepSubfolders = m_s.keepSubfolders != 0 && !m_besideInputs;
    walk.outputFolder = m_job.outputFolder;
    for (const std::string& input : m_parsed.inputs) {
        engine::queueInput(m_queue, input, walk);
        endIfStopped();
    }
    for (const std::string& list : m_parsed.inputLists) {
        problem = queueList(list, walk);
        if (problem)
            break;
    }
    return static_cast<int>(m_queue.size());
}

// Opens a named input list without waiting for a writer, should it be a pipe; -1 with `why`
// set when it cannot be read, and for a device (/dev/zero would never end).
int openList(const std::string& list, std::string& why) {
    const int fd = open(list.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0) {
        why = std::string("cannot read the input list: ") + std::strerror(errno);
    } else if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode)) {
        why = "the input list is neither a file nor a pipe";
    } else {
        return fd;
    }
    if (fd >= 0)
        close(fd);
    return -1;
}

// Queues every path of the list file (standard input for "-") as an input, as it arrives: a
// stop signal ends the run at once, even while the list is still to come.
Problem ConsoleRun::queueList(const std::string& list, const engine::InputWalk& walk) {
    const bool standardInput = list == "-";
    std::string why;
    const int fd = standardInput ? STDIN_FILENO : openList(list, why);
    if (fd < 0) {
        m_queue.add(list, "", why);
        return std::nullopt;
    }
    engine::InputListReader reader(fd, m_stopFd);
    Problem problem;
    std::string path;
    for (engine::InputListReader::Next next;
         (next = reader.next(path)) != engine::InputListReader::Next::End;) {
        if (next == engine::InputListReader::Next::Path) {
            // A relative path keeps its folders below the output folder, so that the list of
            // `find . -name '*.tif'` mirrors the tree it was made in.
            engine::queueInput(m_queue, path, walk, engine::relativeFolderOf(path));
            endIfStopped();
            continue;
        }
        if (next == engine::InputListReader::Next::Stopped)
            endIfStopped();
        if (next == engine::InputListReader::Next::TooLong)
            problem = "Entry " + std::to_string(reader.entryNumber()) + " of the input list " +
                      list + " is longer than a path can be (" +
                      std::to_string(engine::InputListReader::longestPath()) + " bytes)";
        else
            m_queue.add(list, "",
                        std::string("cannot read the input list: ") + std::strerror(errno));
        break;
    }
    if (!standardInput)
        close(fd);
    return problem;
}

std::string clockText(int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

// "File 37 of 10000, 52 pages, 120.3 files/s, 0:01:22 left"
std::string progressLine(const engine::Progress& progress, size_t files, double seconds) {
    const int64_t done = std::max(progress.jobIndex - 1, 0);
    std::string line = "File " + std::to_string(progress.jobIndex) + " of " +
                       std::to_string(files) + ", " + std::to_string(progress.pagesBegun) +
                       " pages";
    if (done > 0 && seconds > 0) {
        char rate[32];
        std::snprintf(rate, sizeof rate, ", %.1f files/s, ", static_cast<double>(done) / seconds);
        const auto left = static_cast<int64_t>(seconds / static_cast<double>(done) *
                                               static_cast<double>(files - done));
        line += rate + clockText(left) + " left";
    }
    return line;
}

// Waits until `done` is signalled or a stop signal arrives; true for a stop signal. Meanwhile
// a run of many files redraws its progress line on the terminal, at most ten times a second,
// from the second second on.
bool ConsoleRun::waitForWorker(int done, engine::Progress& progress) {
    using Clock = std::chrono::steady_clock;
    const bool drawing = m_manyInputs && !m_quiet && !m_debug && m_console.showsProgress();
    const auto start = Clock::now();
    bool drawn = false;
    pollfd waiting[2] = {{done, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
    for (;;) {
        const int ready = poll(waiting, 2, drawing ? 100 : -1);
        if (ready < 0 && errno == EINTR)
            continue;
        const bool stopped = ready > 0 && (waiting[1].revents & POLLIN);
        if (ready < 0 || stopped || (ready > 0 && (waiting[0].revents & POLLIN))) {
            if (drawn)
                m_console.showProgress("");
            return stopped;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (drawing && seconds >= 1.0) {
            std::string line;
            {
                std::lock_guard guard(progress.lock);
                line = progressLine(progress, m_queue.size(), seconds);
            }
            m_console.showProgress(line);
            drawn = true;
        }
    }
}

int ConsoleRun::convert() {
    engine::Progress progress;
    progress.reset();
    engine::ConversionRun run{m_s, m_job, m_queue, progress};
    if (m_debug)
        run.debug = [this](std::string_view line) { say(line); };
    run.watermark = &m_watermark;
    run.besideInputs = m_besideInputs;
    run.jobFailed = [this](std::string_view path, const std::string& why) {
        m_failures.add(std::string(path) + ": " + why);
    };

    // A stop signal ends the run where it is: whatever the worker was writing goes, and the
    // worker is not waited for, since a page may take long to finish.
    const int done = eventfd(0, EFD_CLOEXEC);
    std::thread worker([&run, done] {
        engine::conversionWorker(run);
        eventfd_write(done, 1);
    });
    if (m_stopFd >= 0 && done >= 0 && waitForWorker(done, progress)) {
        say(settings::lookupText("Msg", "Conversion is not complete"));
        std::fflush(stdout);
        engine::endAtOnce();
    }
    worker.join();
    if (done >= 0)
        close(done);
    std::lock_guard guard(progress.lock);
    return progress.count;
}

std::string noticeForConsole() {
    std::string notice = settings::noticeLine();
    const std::string copyright = "\xC2\xA9";
    for (auto at = notice.find(copyright); at != std::string::npos; at = notice.find(copyright))
        notice.replace(at, copyright.size(), "(c)");
    return notice;
}

} // namespace

void runConsoleConversion(Settings& settings, engine::JobState& job, engine::JobQueue& queue,
                          const ParseResult& parsed, Console& console) {
    // Caught from the start, so that a run stopped while it is prepared says so too.
    const int stopFd = engine::catchStopSignals();
    console.setTitle(base::titleText());
    if (!parsed.quiet) {
        console.printLine(base::titleText());
        console.printLine(noticeForConsole());
        console.printLine(std::string(base::k_homepage));
        console.printLine(" ");
    }
    ConsoleRun(settings, job, queue, parsed, stopFd, console).run();
    engine::releaseStopSignals();
    if (parsed.pause) {
        console.printLine("Press any key to exit.");
        console.waitForKey();
    }
}

} // namespace kx::core
