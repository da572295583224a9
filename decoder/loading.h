#pragma once

#include "imaging/page_source.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kx::decoder {

// Opens `path` in this process through FreeImage's multi-page reader, falling back to a
// single-image load when that finds no pages. Null when neither yields a page.
std::unique_ptr<imaging::PageSource> openPagesInProcess(const std::string& path);

// The directory chain check behind FreeImagePageSource::fileProblem, on the TIFF at `path`.
std::string directoryChainProblem(const std::string& path);

} // namespace kx::decoder