#include "engine/conversion_worker.h"
#include "engine/watermark.h"
#include "imaging/format_registry.h"
#include "imaging/saving.h"

// Drives the whole conversion path with arbitrary input: the first bytes choose the settings
// of the chain, the rest is written to disk as the TIFF to convert. Pages are decoded in the
// decoder process, so FreeImage's own crashes only fail the job; anything that goes wrong in
// the worker, the chain or the writer is a finding.

#include <QGuiApplication>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using kx::settings::Settings;

struct Workspace {
    fs::path folder;
    QGuiApplication* gui = nullptr;
};

Workspace& workspace() {
    static Workspace w = [] {
        Workspace made;
        char pattern[] = "/tmp/kx-fuzz-XXXXXX";
        made.folder = mkdtemp(pattern);
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "conversion_fuzz";
        static char* argv[] = {name, nullptr};
        made.gui = new QGuiApplication(argc, argv);
        return made;
    }();
    // The test suite replays this target on every run: its folder goes when the process ends.
    static const int removedAtExit = std::atexit([] {
        std::error_code ignored;
        fs::remove_all(w.folder, ignored);
    });
    (void)removedAtExit;
    return w;
}

// Settings within bounds that keep one run fast: small sizes, small frames, short texts.
void chooseSettings(FuzzedDataProvider& in, Settings& s) {
    kx::settings::applyDefaults(s, true);
    s.tiffFrameLoading = in.ConsumeIntegralInRange(0, 5);
    s.doImageRotation = in.ConsumeBool();
    s.imageRotationType = in.ConsumeIntegralInRange(0, 2);
    s.imageRotation = in.ConsumeIntegralInRange(-10, 400);
    s.imageRotationBackColor = in.ConsumeBool() ? "FF0000" : "zz";
    s.doImageResize = in.ConsumeBool();
    s.imageWidth = in.ConsumeIntegralInRange(-5, 200);
    s.imageHeight = in.ConsumeIntegralInRange(-5, 200);
    s.imageWidthUnit = in.ConsumeIntegralInRange(0, 2);
    s.imageHeightUnit = in.ConsumeIntegralInRange(0, 2);
    s.keepAspectRatio = in.ConsumeBool();
    s.imageResizeType = in.ConsumeIntegralInRange(0, 1);
    s.imageResizeAlgorithm = in.ConsumeIntegralInRange(0, 7);
    s.doImageFlipHorizontal = in.ConsumeBool();
    s.doImageFlipVertical = in.ConsumeBool();
    s.doImageColorCorrection = in.ConsumeBool();
    s.imageBrightness = in.ConsumeIntegralInRange(-150, 150);
    s.imageContrast = in.ConsumeIntegralInRange(-150, 150);
    s.imageGamma = in.ConsumeFloatingPoint<float>();
    s.imageInvert = in.ConsumeBool();
    s.doImageGreyscale = in.ConsumeBool();
    s.doImageThreshold = in.ConsumeBool();
    s.imageThreshold = in.ConsumeIntegralInRange(-10, 300);
    s.doImageDither = in.ConsumeBool();
    s.imageDitherAlgorithm = in.ConsumeIntegralInRange(0, 8);
    s.doFrame = in.ConsumeIntegralInRange(0, 2);
    s.solidLeft = in.ConsumeIntegralInRange(-20, 300);
    s.solidRight = in.ConsumeIntegralInRange(-20, 300);
    s.solidTop = in.ConsumeIntegralInRange(-20, 300);
    s.solidBottom = in.ConsumeIntegralInRange(-20, 300);
    s.solidOpacity = in.ConsumeIntegralInRange(-10, 300);
    s.doWatermark = in.ConsumeIntegralInRange(0, 2);
    s.text = in.ConsumeRandomLengthString(40);
    s.fontSize = in.ConsumeIntegralInRange(-5, 60);
    s.fontLeading = in.ConsumeIntegralInRange(-20, 20);
    s.fontStyle = in.ConsumeIntegralInRange(0, 4);
    s.fontEffect = in.ConsumeIntegralInRange(0, 3);
    s.textAntialiasing = in.ConsumeBool();
    s.textAlignment = in.ConsumeIntegralInRange(0, 3);
    s.textPadding = in.ConsumeIntegralInRange(-10, 50);
    s.textPosition = in.ConsumeIntegralInRange(0, 9);
    s.textXOffset = in.ConsumeIntegralInRange(-300, 300);
    s.textYOffset = in.ConsumeIntegralInRange(-300, 300);
    s.textRotation = in.ConsumeIntegralInRange(0, 360);
    s.textBoundary = in.ConsumeIntegralInRange(0, 1);
    s.bmpBpp = in.PickValueInArray({0, 1, 4, 8, 16, 24, 32, 2});
    s.bmpCompression = in.ConsumeIntegralInRange(0, 2);
    s.bmpColorTable = in.ConsumeIntegralInRange(0, 1);
    s.filenameMask = in.ConsumeBool() ? "" : "%filename%_%frame%_%width%x%height%.%ext%";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Workspace& w = workspace();
    FuzzedDataProvider in(data, size);
    Settings settings;
    chooseSettings(in, settings);

    const fs::path input = w.folder / "input.tif";
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    std::ofstream(input, std::ios::binary | std::ios::trunc) << bytes;

    kx::engine::JobState job;
    kx::engine::JobQueue queue;
    kx::engine::resetJobState(job, queue);
    job.outputFolder = (w.folder / "out").string() + "/";
    fs::create_directories(job.outputFolder);
    job.outputFormatKey = "bmp";
    job.freeImageFormat = FIF_BMP;
    job.targetDepth = settings.bmpBpp;
    job.autoDepth = settings.bmpBpp == 0;
    job.saveFlags = kx::imaging::computeSaveFlags("bmp", settings);
    kx::engine::setInputFile(job, queue, input.string());

    kx::engine::PreparedWatermark watermark;
    kx::engine::prepareWatermark(settings, watermark);
    kx::engine::Progress progress;
    progress.reset();
    kx::engine::ConversionRun run{settings, job, queue, progress};
    run.watermark = &watermark;
    kx::engine::conversionWorker(run);

    std::error_code ignored;
    fs::remove_all(job.outputFolder, ignored);
    return 0;
}
