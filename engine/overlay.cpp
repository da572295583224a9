#include "engine/overlay.h"

#include "engine/standard_type.h"

namespace kx::engine {

bool isDrawable24Bits(FIBITMAP* page) {
    return page && FreeImage_GetImageType(page) == FIT_BITMAP && FreeImage_GetBPP(page) == 24 &&
           FreeImage_HasPixels(page);
}

Bitmap pageTo24Bits(Bitmap page) {
    if (!page || isDrawable24Bits(page.get()))
        return page;
    return convertPageTo24Bits(std::move(page));
}

Bitmap compositeOver(Bitmap page, FIBITMAP* overlay) {
    if (!page || !overlay)
        return page;
    FIBITMAP* composed = FreeImage_Composite(overlay, FALSE, nullptr, page.get());
    if (!composed)
        return page;
    return keepResolution(page.get(), composed);
}

} // namespace kx::engine
