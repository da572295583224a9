#include "drawing/canvas.h"
#include "drawing/frame_painting.h"
#include "drawing/watermark_painting.h"
#include "engine/drawing_module.h"
#include "engine/overlay.h"

// The drawing module's one exported symbol: the table of its functions. Everything else in
// the module stays hidden, so its own copies of shared code never answer for the program's.

#include <QGuiApplication>

namespace {

using namespace kx;

// Qt's own warnings (about the runtime folder's permissions, fonts and the like) are not the
// console's lines.
void ignoreQtMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

void* startGui() {
    if (QCoreApplication::instance())
        return nullptr;
    qInstallMessageHandler(ignoreQtMessage);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kestrelix";
    static char* argv[] = {name, nullptr};
    return new QGuiApplication(argc, argv);
}

void endGui(void* gui) {
    delete static_cast<QGuiApplication*>(gui);
}

FIBITMAP* paintFrame(int width, int height, const settings::Settings* settings) {
    return drawing::toFreeImage(drawing::frameOverlay(width, height, *settings)).release();
}

bool fontAvailable(const char* family) {
    return family && drawing::fontAvailable(family);
}

void* loadFont(const settings::Settings* settings) {
    std::optional<QFont> font = drawing::watermarkFont(*settings);
    return font ? new QFont(*font) : nullptr;
}

void releaseFont(void* font) {
    delete static_cast<QFont*>(font);
}

FIBITMAP* paintText(const void* font, const char* text, const settings::Settings* settings) {
    if (!font || !text)
        return nullptr;
    return drawing::toFreeImage(
               drawing::textWatermark(text, *static_cast<const QFont*>(font), *settings))
        .release();
}

void* loadImage(FIBITMAP* bitmap) {
    QImage image = drawing::toQImage(bitmap);
    return image.isNull() ? nullptr : new QImage(std::move(image));
}

void releaseImage(void* image) {
    delete static_cast<QImage*>(image);
}

FIBITMAP* paintImage(const void* image, const settings::Settings* settings) {
    if (!image)
        return nullptr;
    return drawing::toFreeImage(
               drawing::imageWatermark(*static_cast<const QImage*>(image), *settings))
        .release();
}

constexpr engine::DrawingFunctions k_functions{
    engine::k_drawingTableVersion,
    startGui,
    endGui,
    paintFrame,
    fontAvailable,
    loadFont,
    releaseFont,
    paintText,
    loadImage,
    releaseImage,
    paintImage,
};

} // namespace

extern "C" __attribute__((visibility("default"))) const kx::engine::DrawingFunctions*
kx_drawing_functions() {
    return &k_functions;
}
