#include "decoder/page_orientation.h"

#include "imaging/page_transforms.h"

#include <tiffio.h>

namespace kx::decoder {

namespace {

// How libtiff's RGBA reader, asked by FreeImage for rows from the bottom up, mirrors a page.
bool readerMirrorsLeftRight(int orientation) {
    return orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT ||
           orientation == ORIENTATION_RIGHTTOP || orientation == ORIENTATION_RIGHTBOT;
}

bool readerMirrorsTopBottom(int orientation) {
    return orientation == ORIENTATION_BOTRIGHT || orientation == ORIENTATION_BOTLEFT ||
           orientation == ORIENTATION_RIGHTBOT || orientation == ORIENTATION_LEFTBOT;
}

// The kinds FreeImage's TIFF loader hands to libtiff's RGBA reader.
bool readByRgbaReader(const PageFacts& facts) {
    return facts.photometric == PHOTOMETRIC_YCBCR || facts.photometric == PHOTOMETRIC_CIELAB ||
           facts.photometric == PHOTOMETRIC_ICCLAB || facts.photometric == PHOTOMETRIC_ITULAB;
}

} // namespace

int readOrientation(TIFF* tiff) {
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (!tiff || !TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation) ||
        orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT)
        return ORIENTATION_TOPLEFT;
    return orientation;
}

void restoreStoredOrder(FIBITMAP* page, const PageFacts& facts, int orientation) {
    if (!page || !readByRgbaReader(facts))
        return;
    if (readerMirrorsLeftRight(orientation))
        imaging::flipHorizontal(page);
    if (readerMirrorsTopBottom(orientation))
        imaging::flipVertical(page);
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
