#pragma once

#include <FreeImage.h>

#include <memory>

namespace kx::engine {

struct BitmapUnloader {
    void operator()(FIBITMAP* bitmap) const {
        if (bitmap)
            FreeImage_Unload(bitmap);
    }
};

// A page bitmap owned by the pipeline step that holds it. Every step takes one and returns
// the one to continue with; replacing it unloads the old one.
using Bitmap = std::unique_ptr<FIBITMAP, BitmapUnloader>;

struct MemoryCloser {
    void operator()(FIMEMORY* memory) const {
        if (memory)
            FreeImage_CloseMemory(memory);
    }
};

using MemoryStream = std::unique_ptr<FIMEMORY, MemoryCloser>;

} // namespace kx::engine
