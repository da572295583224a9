#include "imaging/page_transforms.h"

#include <cstring>
#include <vector>

namespace kx::imaging {

namespace {

// Pixels narrower than a byte sit in a byte from its high bits down.
unsigned subBytePixel(const BYTE* row, unsigned x, unsigned bpp) {
    const unsigned perByte = 8 / bpp;
    const unsigned shift = 8 - bpp * (x % perByte + 1);
    return (row[x / perByte] >> shift) & ((1u << bpp) - 1);
}

void setSubBytePixel(BYTE* row, unsigned x, unsigned bpp, unsigned value) {
    const unsigned perByte = 8 / bpp;
    const unsigned shift = 8 - bpp * (x % perByte + 1);
    const unsigned mask = ((1u << bpp) - 1) << shift;
    BYTE& byte = row[x / perByte];
    byte = static_cast<BYTE>((byte & ~mask) | ((value << shift) & mask));
}

// Row `y` counting from the top; FreeImage keeps the bottom row first.
BYTE* rowFromTop(FIBITMAP* page, unsigned y) {
    return FreeImage_GetScanLine(page, static_cast<int>(FreeImage_GetHeight(page) - 1 - y));
}

void copyPixel(const BYTE* from, unsigned fromX, BYTE* to, unsigned toX, unsigned bpp) {
    if (bpp < 8)
        setSubBytePixel(to, toX, bpp, subBytePixel(from, fromX, bpp));
    else
        std::memcpy(to + size_t{toX} * (bpp / 8), from + size_t{fromX} * (bpp / 8), bpp / 8);
}

// What a page carries besides its pixels, as the decoder hands pages over.
void copyPageProperties(FIBITMAP* from, FIBITMAP* to) {
    if (RGBQUAD* palette = FreeImage_GetPalette(from))
        std::memcpy(FreeImage_GetPalette(to), palette,
                    FreeImage_GetColorsUsed(from) * sizeof(RGBQUAD));
    if (const int count = static_cast<int>(FreeImage_GetTransparencyCount(from)); count > 0)
        FreeImage_SetTransparencyTable(to, FreeImage_GetTransparencyTable(from), count);
    FreeImage_SetTransparent(to, FreeImage_IsTransparent(from));
    RGBQUAD background;
    if (FreeImage_GetBackgroundColor(from, &background))
        FreeImage_SetBackgroundColor(to, &background);
}

} // namespace

void flipHorizontal(FIBITMAP* page) {
    if (!page)
        return;
    const unsigned bpp = FreeImage_GetBPP(page);
    if (bpp >= 8) {
        FreeImage_FlipHorizontal(page);
        return;
    }
    const unsigned width = FreeImage_GetWidth(page);
    std::vector<BYTE> copy((size_t{width} * bpp + 7) / 8); // the row without its padding
    for (unsigned y = 0; y < FreeImage_GetHeight(page); ++y) {
        BYTE* row = FreeImage_GetScanLine(page, static_cast<int>(y));
        std::memcpy(copy.data(), row, copy.size());
        for (unsigned x = 0; x < width; ++x)
            copyPixel(copy.data(), width - 1 - x, row, x, bpp);
    }
}

void flipVertical(FIBITMAP* page) {
    if (page)
        FreeImage_FlipVertical(page);
}

Bitmap transposed(FIBITMAP* page) {
    if (!page)
        return nullptr;
    const unsigned width = FreeImage_GetWidth(page);
    const unsigned height = FreeImage_GetHeight(page);
    const unsigned bpp = FreeImage_GetBPP(page);
    Bitmap turned(FreeImage_AllocateT(FreeImage_GetImageType(page), static_cast<int>(height),
                                      static_cast<int>(width), static_cast<int>(bpp),
                                      FreeImage_GetRedMask(page), FreeImage_GetGreenMask(page),
                                      FreeImage_GetBlueMask(page)));
    if (!turned)
        return nullptr;
    copyPageProperties(page, turned.get());
    FreeImage_SetDotsPerMeterX(turned.get(), FreeImage_GetDotsPerMeterY(page));
    FreeImage_SetDotsPerMeterY(turned.get(), FreeImage_GetDotsPerMeterX(page));
    for (unsigned y = 0; y < width; ++y) {
        BYTE* row = rowFromTop(turned.get(), y);
        for (unsigned x = 0; x < height; ++x)
            copyPixel(rowFromTop(page, x), y, row, x, bpp);
    }
    return turned;
}

} // namespace kx::imaging
