#pragma once

#include "decoder/page_budget.h"
#include "imaging/page_source.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kx::decoder {

// Called before each page is decoded, with what its directory declares about it (all zero
// when the directory cannot be read).
using DecodeStart = std::function<void(const PageFacts& facts)>;

// Opens `path` in this process through FreeImage's multi-page reader, falling back to a
// single-image load when that finds no pages; both under the same page check. Null when
// neither yields a page.
std::unique_ptr<imaging::PageSource> openPagesInProcess(const std::string& path);

// openPagesInProcess, calling `onDecode` before each page is decoded (where a decoder process
// sets the page's bounds).
std::unique_ptr<imaging::PageSource> openPagesWatched(const std::string& path,
                                                      const DecodeStart& onDecode);

} // namespace kx::decoder