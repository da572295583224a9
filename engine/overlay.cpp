#include "engine/overlay.h"

#include "imaging/bitmap.h"
#include "imaging/standard_type.h"

namespace kx::engine {

bool isDrawable24Bits(FIBITMAP* page) {
    return page && FreeImage_GetImageType(page) == FIT_BITMAP && FreeImage_GetBPP(page) == 24 &&
           FreeImage_HasPixels(page);
}

imaging::Bitmap pageTo24Bits(imaging::Bitmap page) {
    if (!page || isDrawable24Bits(page.get()))
        return page;
    return imaging::convertPageTo24Bits(std::move(page));
}

imaging::Bitmap compositeOver(imaging::Bitmap page, FIBITMAP* overlay) {
    if (!page || !overlay)
        return page;
    FIBITMAP* composed = FreeImage_Composite(overlay, FALSE, nullptr, page.get());
    if (!composed)
        return page;
    return imaging::keepResolution(page.get(), composed);
}

} // namespace kx::engine
