#pragma once

#include "decoder/client/decoder_processes.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"

#include <memory>
#include <string>

namespace kx::decoder {

// Decodes one watermark image in a decoder process of its own, under a watermark's bounds
// (decode_bounds.h); a damaged file that crashes it or meets a bound only fails the image. Null
// with `why` set when the image cannot be decoded. See decodeWatermarkImage for what comes back.
imaging::Bitmap decodeImageContained(const std::string& path, std::string& why,
                                     const std::string& decoderPath = defaultDecoderPath(),
                                     int timeoutMs = 120'000);

// Opens `path` in a decoder process of its own (the program at `decoderPath`), started from
// the calling thread without the caller's descriptors. Pages are decoded there and handed
// over whole. When the decoder dies or sends nothing for `timeoutMs`, the page being loaded
// fails with a problem that says why, and the next page starts a fresh decoder. Null when the
// decoder cannot be started or finds no page.
std::unique_ptr<imaging::PageSource>
openPagesContained(const std::string& path, const std::string& decoderPath = defaultDecoderPath(),
                   int timeoutMs = 120'000);

} // namespace kx::decoder