#include "engine/frame.h"

#include "engine/drawing_module.h"
#include "engine/overlay.h"
#include "imaging/bitmap.h"

namespace kx::engine {

imaging::Bitmap drawFrame(imaging::Bitmap page, const settings::Settings& settings) {
    if (!page || settings.doFrame == settings::FrameType::None)
        return page;
    page = pageTo24Bits(std::move(page));
    if (settings.doFrame != settings::FrameType::Solid || !isDrawable24Bits(page.get()))
        return page;
    // Without the drawing module the page cannot be what was asked for: it fails rather
    // than being saved without its frame.
    const DrawingFunctions* drawing = drawingFunctions();
    if (!drawing)
        return nullptr;
    const int width = static_cast<int>(FreeImage_GetWidth(page.get()));
    const int height = static_cast<int>(FreeImage_GetHeight(page.get()));
    const imaging::Bitmap layer(drawing->paintFrame(width, height, &settings));
    if (!layer)
        return page;
    return compositeOver(std::move(page), layer.get());
}

} // namespace kx::engine
