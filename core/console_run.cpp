#include "core/console_run.h"

#include "base/paths.h"
#include "base/text.h"
#include "base/text_format.h"
#include "base/version.h"
#include "core/keywords.h"
#include "decoder/contained_decoder.h"
#include "engine/conversion_worker.h"
#include "engine/drawing_module.h"
#include "engine/run_control.h"
#include "engine/run_values.h"
#include "engine/watermark.h"
#include "imaging/format_registry.h"
#include "imaging/saving.h"
#include "settings/string_table.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

namespace kx::core {

namespace {

using settings::Settings;

// A validation step's verdict: the text after "Error: ", or nothing.
using Problem = std::optional<std::string>;

class ConsoleRun {
public:
    ConsoleRun(Settings& settings, engine::JobState& job, engine::JobQueue& queue, bool quiet,
               Console& console)
        : m_s(settings), m_job(job), m_queue(queue), m_quiet(quiet), m_console(console),
          m_debug(job.debugKeyword == "DEBUG") {}

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

    Problem checkInputFile();
    Problem checkOutputFolder();
    Problem checkFormats();
    Problem checkOutputOptions();
    Problem checkTransforms();
    void printFrame();
    Problem checkWatermark();
    void printNaming();
    void fixSaveParameters();
    int queueJob();
    int convert();

    Settings& m_s;
    engine::JobState& m_job;
    engine::JobQueue& m_queue;
    bool m_quiet;
    Console& m_console;
    bool m_debug;
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
    }
    for (auto step :
         {&ConsoleRun::checkInputFile, &ConsoleRun::checkOutputFolder, &ConsoleRun::checkFormats,
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
    const int imported = queueJob();
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
    }
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

Problem ConsoleRun::checkOutputFolder() {
    std::string folder = m_job.outputFolder;
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
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
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
    const auto& offered = settings::outputFormatList();
    if (std::find(offered.begin(), offered.end(), m_job.outputFormatKey) == offered.end())
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
    const std::vector<int> allowed = imaging::allowedDepths(key);
    if (bpp != 0 && std::find(allowed.begin(), allowed.end(), bpp) == allowed.end())
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
        if (m_s.imageWidth == 0)
            return "Invalid width value";
        debug("Height: " + std::to_string(m_s.imageHeight) + " " +
              keywordOf(KeywordKind::SizeUnit, m_s.imageHeightUnit));
        if (m_s.imageHeight == 0)
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
        if (m_s.imageBrightness < -100 || m_s.imageBrightness > 100)
            return "Invalid brightness value";
        debug("Contrast: ", m_s.imageContrast);
        if (m_s.imageContrast < -100 || m_s.imageContrast > 100)
            return "Invalid contrast value";
        debug("Gamma: " + twoDecimals(m_s.imageGamma));
        // Written as a negated range so that NaN is refused too.
        if (!(m_s.imageGamma >= 0.01f && m_s.imageGamma <= 9.99f))
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

// Waits until `done` is signalled or a stop signal arrives; true for a stop signal.
bool stoppedBeforeDone(int done, int stopFd) {
    pollfd waiting[2] = {{done, POLLIN, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        const int ready = poll(waiting, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return false;
        if (waiting[1].revents & POLLIN)
            return true;
        if (waiting[0].revents & POLLIN)
            return false;
    }
}

int ConsoleRun::convert() {
    engine::Progress progress;
    progress.reset();
    engine::ConversionRun run{m_s, m_job, m_queue, progress};
    if (m_debug)
        run.debug = [this](std::string_view line) { say(line); };
    run.watermark = &m_watermark;

    // A stop signal ends the run where it is: whatever the worker was writing goes, and the
    // worker is not waited for, since a page may take long to finish.
    const int stopFd = engine::catchStopSignals();
    const int done = eventfd(0, EFD_CLOEXEC);
    std::thread worker([&run, done] {
        engine::conversionWorker(run);
        eventfd_write(done, 1);
    });
    if (stopFd >= 0 && done >= 0 && stoppedBeforeDone(done, stopFd)) {
        say(settings::lookupText("Msg", "Conversion is not complete"));
        std::fflush(stdout);
        engine::endAtOnce();
    }
    worker.join();
    engine::releaseStopSignals();
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
                          bool quiet, bool pause, Console& console) {
    console.setTitle(base::titleText());
    if (!quiet) {
        console.printLine(base::titleText());
        console.printLine(noticeForConsole());
        console.printLine(std::string(base::k_homepage));
        console.printLine(" ");
    }
    ConsoleRun(settings, job, queue, quiet, console).run();
    if (pause) {
        console.printLine("Press any key to exit.");
        console.waitForKey();
    }
}

} // namespace kx::core
