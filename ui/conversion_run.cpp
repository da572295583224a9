#include "ui/conversion_run.h"

#include "base/text.h"
#include "base/text_format.h"
#include "decoder/client/contained_decoder.h"
#include "engine/conversion_worker.h"
#include "engine/run_check.h"
#include "engine/run_values.h"
#include "engine/watermark.h"
#include "settings/string_table.h"
#include "ui/closable_wait.h"
#include "ui/common/dialogs.h"
#include "ui/progress_window.h"
#include "ui/recent_folders.h"

#include <optional>
#include <utility>

namespace kx::ui {

namespace {

// A problem found before the run: the warning to show (none when the window was closed
// meanwhile), and whether the status bar says the conversion stopped.
struct Refusal {
    std::string warning;
    bool stopped = true;
};

// Decoding the watermark image can take long (a large or damaged file), so it runs off the
// window's thread and the window can still be closed meanwhile; closing ends the decoder.
// nullopt when the window was closed.
std::optional<engine::WatermarkProblem> prepareImageWatermark(QWidget* window,
                                                              const settings::Settings& s,
                                                              engine::PreparedWatermark& out) {
    using Prepared = std::pair<engine::WatermarkProblem, engine::PreparedWatermark>;
    auto prepared = resultWhileClosable<Prepared>(window, [s](std::stop_token stop) {
        const std::stop_callback endDecoding(stop, [] { decoder::endAllDecoders(); });
        Prepared result;
        result.first = engine::prepareWatermark(s, result.second);
        return result;
    });
    if (!prepared)
        return std::nullopt;
    out = std::move(prepared->second);
    return prepared->first;
}

// The warning for a problem of the output folder or the settings; empty for None.
std::string warningFor(engine::RunProblem problem, const std::string& outputFolder,
                       const std::string& formatKey) {
    using engine::RunProblem;
    switch (problem) {
    case RunProblem::None:
        return {};
    case RunProblem::EmptyOutputFolder:
        return settings::lookupText("Msg", "Empty output folder");
    case RunProblem::MissingOutputFolder:
        return base::formatText(settings::lookupText("Msg", "Invalid output folder"), outputFolder);
    case RunProblem::InvalidConversionType:
        return settings::lookupText("Msg", "Invalid conversion type");
    case RunProblem::InvalidDepth:
        return base::formatText(settings::lookupText("Msg", "Invalid bpp"),
                                base::upperCase(formatKey));
    case RunProblem::InvalidWidth:
        return settings::lookupText("Msg", "Invalid width");
    case RunProblem::InvalidHeight:
        return settings::lookupText("Msg", "Invalid height");
    case RunProblem::InvalidBrightness:
        return settings::lookupText("Msg", "Invalid brightness");
    case RunProblem::InvalidContrast:
        return settings::lookupText("Msg", "Invalid contrast");
    case RunProblem::InvalidGamma:
        return settings::lookupText("Msg", "Invalid gamma");
    }
    return {};
}

std::optional<Refusal> checkRun(const settings::Settings& s, const engine::JobQueue& queue,
                                std::string& outputFolder, const std::string& formatKey,
                                engine::PreparedWatermark& watermark, QWidget* window) {
    if (queue.empty())
        return Refusal{settings::lookupText("Msg", "Empty input files")};
    if (!outputFolder.empty() && !outputFolder.ends_with('/'))
        outputFolder += '/';
    engine::RunProblem problem = engine::outputFolderProblem(outputFolder);
    if (problem == engine::RunProblem::None)
        problem = engine::runSettingsProblem(s, formatKey);
    if (problem != engine::RunProblem::None)
        return Refusal{warningFor(problem, outputFolder, formatKey)};
    if (s.doWatermark == settings::WatermarkType::Text &&
        engine::prepareWatermark(s, watermark) != engine::WatermarkProblem::None)
        return Refusal{
            base::formatText(settings::lookupText("Msg", "Invalid watermark font"), s.font), false};
    if (s.doWatermark == settings::WatermarkType::Image) {
        const auto imageProblem = prepareImageWatermark(window, s, watermark);
        if (!imageProblem)
            return Refusal{{}, false};
        switch (*imageProblem) {
        case engine::WatermarkProblem::None:
        case engine::WatermarkProblem::InvalidFont:
            break;
        case engine::WatermarkProblem::EmptyImage:
            return Refusal{settings::lookupText("Msg", "Empty watermark image"), false};
        case engine::WatermarkProblem::InvalidImage:
            return Refusal{
                base::formatText(settings::lookupText("Msg", "Invalid watermark image"), s.image),
                false};
        }
    }
    return std::nullopt;
}

class ActiveProgress {
public:
    ActiveProgress(ConversionHost& host, ProgressWindow& progress) : m_host(host) {
        m_host.setActiveProgress(&progress);
    }
    ~ActiveProgress() { m_host.setActiveProgress(nullptr); }
    ActiveProgress(const ActiveProgress&) = delete;
    ActiveProgress& operator=(const ActiveProgress&) = delete;

private:
    ConversionHost& m_host;
};

} // namespace

bool runConversion(settings::Settings& settings, engine::JobState& job, engine::JobQueue& queue,
                   CurrentPaths& paths, ConversionHost& host, const ConversionRequest& request) {
    paths.inputPath = base::trimmed(request.inputText);
    paths.outputFolder = base::trimmed(request.outputText);
    const std::string formatKey = request.formatKey;
    host.setStatusText(settings::lookupText("General", "Preparing"));

    std::string outputFolder = paths.outputFolder;
    engine::PreparedWatermark watermark;
    if (const auto refusal =
            checkRun(settings, queue, outputFolder, formatKey, watermark, host.hostWindow())) {
        if (refusal->stopped)
            host.setStatusText(settings::lookupText("Msg", "Conversion is not complete"));
        if (!refusal->warning.empty())
            showWarningMessage(host.hostWindow(), refusal->warning);
        return false;
    }

    job.outputFolder = outputFolder;
    job.inputFormatKey = settings::inputFormatList().front();
    job.outputFormatKey = formatKey;
    engine::setRunValues(job, settings);
    if (addRecentFolder(settings, paths.outputFolder))
        host.refillOutputFolders();
    host.setStatusText(settings::lookupText("General", "Converting"));

    engine::Progress progress;
    engine::ConversionRun run{settings, job, queue, progress};
    run.watermark = &watermark;
    ProgressWindow window(host.hostWindow(), run, static_cast<int>(queue.size()),
                          [&host](const std::string& text) { host.setStatusText(text); });
    ActiveProgress active(host, window);
    window.runToEnd();
    // The window lives on between runs; its run's last decoders must not linger as zombies.
    decoder::reapLeavingDecoders();
    return true;
}

} // namespace kx::ui
