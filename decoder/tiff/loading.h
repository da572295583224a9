#pragma once

#include "decoder/tiff/page_budget.h"
#include "imaging/page_source.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kx::decoder {

// Called before each page is decoded, with what its directory declares about it.
using DecodeStart = std::function<void(const PageFacts& facts)>;

// Opens the TIFF at `path` in this process, its pages counted along its directory chain and
// decoded by libtiff as they are asked for, each under the page check. Null when libtiff
// cannot open it or finds no page in it.
std::unique_ptr<imaging::PageSource> openPagesInProcess(const std::string& path);

// openPagesInProcess, calling `onDecode` before each page is decoded (where a decoder process
// sets the page's bounds).
std::unique_ptr<imaging::PageSource> openPagesWatched(const std::string& path,
                                                      const DecodeStart& onDecode);

} // namespace kx::decoder