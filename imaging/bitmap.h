#pragma once

#include <FreeImage.h>

#include <memory>

namespace kx::imaging {

// Unloads `bitmap`, and unmaps the memory its pixels lie in when they were adopted with
// adoptPixelMapping. Any thread.
void unloadBitmap(FIBITMAP* bitmap);

// Records that the pixels of `bitmap` (a header made for external pixels) lie in the memory
// mapping at `address` of `size` bytes, which is unmapped when the bitmap is unloaded.
void adoptPixelMapping(FIBITMAP* bitmap, void* address, size_t size);

struct BitmapUnloader {
    void operator()(FIBITMAP* bitmap) const { unloadBitmap(bitmap); }
};

// A page bitmap owned by the pipeline step that holds it. Every step takes one and returns
// the one to continue with; replacing it unloads the old one.
using Bitmap = std::unique_ptr<FIBITMAP, BitmapUnloader>;

// Wraps `replacement`, a bitmap made from `original`, giving it the original's resolution:
// FreeImage's conversions and transforms do not all carry the dots per metre over, and people
// print and place these files. Null stays null.
inline Bitmap keepResolution(FIBITMAP* original, FIBITMAP* replacement) {
    if (original && replacement) {
        FreeImage_SetDotsPerMeterX(replacement, FreeImage_GetDotsPerMeterX(original));
        FreeImage_SetDotsPerMeterY(replacement, FreeImage_GetDotsPerMeterY(original));
    }
    return Bitmap(replacement);
}

struct MemoryCloser {
    void operator()(FIMEMORY* memory) const {
        if (memory)
            FreeImage_CloseMemory(memory);
    }
};

using MemoryStream = std::unique_ptr<FIMEMORY, MemoryCloser>;

} // namespace kx::imaging