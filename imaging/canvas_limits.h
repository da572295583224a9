#pragma once

#include <cstdint>

namespace kx::imaging {

// The largest canvas the drawing side paints a watermark or frame overlay on, and so the
// largest watermark image the decoder decodes: a side Qt's raster painter still addresses
// exactly, and 256 MiB of 32-bit pixels. Larger boxes (huge fonts, paddings or images) are not
// drawn at all rather than exhausting memory.
inline constexpr int64_t k_maxCanvasSide = 32767;
inline constexpr int64_t k_maxCanvasPixels = int64_t{1} << 26;

// True when a w x h canvas is non-empty and within the limits above.
inline bool canvasSizeAllowed(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= k_maxCanvasSide && height <= k_maxCanvasSide &&
           width * height <= k_maxCanvasPixels;
}

} // namespace kx::imaging
