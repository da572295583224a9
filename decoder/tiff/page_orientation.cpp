#include "decoder/tiff/page_orientation.h"

#include "imaging/page_transforms.h"

#include <tiffio.h>

namespace kx::decoder {

int readOrientation(TIFF* tiff) {
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (!tiff || !TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation) ||
        orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT)
        return ORIENTATION_TOPLEFT;
    return orientation;
}

imaging::Bitmap orientPage(imaging::Bitmap page, int orientation) {
    if (!page || orientation <= ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT)
        return page;
    // Tags 5 to 8 store the picture's columns as rows: turned over its main diagonal, the page
    // is then mirrored as tags 1 to 4 mirror a page.
    const bool transpose = orientation >= ORIENTATION_LEFTTOP;
    const int mirroring = transpose ? orientation - 4 : orientation;
    if (transpose)
        page = imaging::transposed(page.get());
    if (!page)
        return page;
    if (mirroring == ORIENTATION_TOPRIGHT || mirroring == ORIENTATION_BOTRIGHT)
        imaging::flipHorizontal(page.get());
    if (mirroring == ORIENTATION_BOTRIGHT || mirroring == ORIENTATION_BOTLEFT)
        imaging::flipVertical(page.get());
    return page;
}

} // namespace kx::decoder
