#pragma once

#include "imaging/bitmap.h"

#include <string>

namespace kx::decoder {

// Decodes the watermark image at `path` with FreeImage (any format it reads, the type taken
// from the file's signature, else from its name) into a standard bitmap the drawing side can
// use: 32 bits when the image carries transparency, otherwise FreeImage's standard depths.
// High-dynamic-range and 16-bit-per-sample images are brought to 8 bits per sample. Images
// larger than the drawing side's canvas (canvasSizeAllowed) are refused, before their pixels
// are decoded where the format allows. A TIFF's first page is decoded as a page of a converted
// TIFF is. Null with `why` set when the file cannot be decoded.
// Runs inside the decoder process: a damaged file may crash it.
imaging::Bitmap decodeWatermarkImage(const std::string& path, std::string& why);

} // namespace kx::decoder