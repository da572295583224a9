#pragma once

#include "decoder/loading.h"

#include <memory>
#include <string>

namespace kx::engine {

// Where the decoder program is: beside the running program, else where the build put it.
std::string defaultDecoderPath();

// Opens `path` in a decoder process of its own (the program at `decoderPath`), started from
// the calling thread without the caller's descriptors. Pages are decoded there and handed
// over whole. When the decoder dies or sends nothing for `timeoutMs`, the page being loaded
// fails with a problem that says why, and the next page starts a fresh decoder. Null when the
// decoder cannot be started or finds no page.
std::unique_ptr<PageSource>
openPagesContained(const std::string& path, const std::string& decoderPath = defaultDecoderPath(),
                   int timeoutMs = 120'000);

} // namespace kx::engine
