#pragma once

#include "imaging/bitmap.h"
#include "settings/settings.h"

#include <string>

namespace kx::engine {

// The drawing module (libkestrelix-drawing.so) paints frames and watermarks with Qt Gui. It
// is opened only when a run draws something, so a plain conversion never loads Qt. Its
// functions form one plain table; none of them throws. Bitmaps handed back are 32-bit
// FreeImage bitmaps with straight (not premultiplied) RGBA pixels, owned by the caller.
inline constexpr const char* k_drawingModuleName = "libkestrelix-drawing.so";
inline constexpr const char* k_drawingEntryName = "kx_drawing_functions";
inline constexpr int k_drawingTableVersion = 1;

struct DrawingFunctions {
    int version; // k_drawingTableVersion of the build the module comes from
    // Starts Qt's GUI layer on the offscreen platform, with Qt's own warnings silenced, when
    // the process has no Qt application yet. Returns it, to be ended with endGui, or null when
    // one already exists.
    void* (*startGui)();
    void (*endGui)(void* gui);
    // The page-size frame layer for a width x height page; null when nothing can be drawn.
    FIBITMAP* (*paintFrame)(int width, int height, const settings::Settings* settings);
    // True when `family` names an installed face (see fontCanBeLoaded).
    bool (*fontAvailable)(const char* family);
    // The watermark font the settings describe (family, size, style, effect); null without a
    // GUI layer. Released with releaseFont.
    void* (*loadFont)(const settings::Settings* settings);
    void (*releaseFont)(void* font);
    // The text watermark box for `text` in `font`; null when it is empty or too large.
    FIBITMAP* (*paintText)(const void* font, const char* text, const settings::Settings* settings);
    // Takes a decoded watermark image over; null when it is empty or too large. Released with
    // releaseImage.
    void* (*loadImage)(FIBITMAP* image);
    void (*releaseImage)(void* image);
    // The image watermark at its opacity, greyed when asked; null when nothing can be drawn.
    FIBITMAP* (*paintImage)(const void* image, const settings::Settings* settings);
};

// The drawing module's table, opened on first use from the program's folder or the installed
// library folder. Null when the module is missing or unusable, with the reason in `why`.
// Any thread.
const DrawingFunctions* drawingFunctions(std::string& why);
// The same for callers that only need to know whether drawing is possible.
inline const DrawingFunctions* drawingFunctions() {
    std::string why;
    return drawingFunctions(why);
}

// True when `family` names an installed face, directly or through a configured alias; a name
// that only falls back to the default face is false. False without Qt's GUI layer running or
// without the drawing module.
bool fontCanBeLoaded(const std::string& family);

// Keeps Qt's GUI layer up for a run that draws: start() brings it up when the process has
// none (fonts need it), and the destructor ends what start() began.
class DrawingSupport {
public:
    DrawingSupport() = default;
    ~DrawingSupport();
    DrawingSupport(const DrawingSupport&) = delete;
    DrawingSupport& operator=(const DrawingSupport&) = delete;

    // False with the reason in `why` when the drawing module cannot be opened.
    bool start(std::string& why);

private:
    void* m_gui = nullptr;
};

} // namespace kx::engine
