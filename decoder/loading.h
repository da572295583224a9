#pragma once

#include "engine/bitmap.h"

#include <functional>
#include <memory>
#include <string>

namespace kx::engine {

// What loading learnt about a page besides its pixels.
struct PageInfo {
    int sourceCompression = 1; // low byte of the page's TIFF Compression tag
    std::string problem;       // why the page cannot be trusted; empty when it decoded cleanly
};

// The decoded pages of one input file. Pages are asked for in ascending order and each is
// decoded when asked, so only one page bitmap is alive at a time. Worker thread only.
class PageSource {
public:
    virtual ~PageSource() = default;
    // Number of pages; at least 1 for an opened source.
    virtual int pageCount() const = 0;
    // Decodes page `index`. Null when the page cannot be decoded; `info.problem` says why.
    virtual Bitmap loadPage(int index, PageInfo& info) = 0;
    // Decodes page `index` and lends it to `use`, which must not keep it: the page is released
    // when `use` returns. Saves the copy `loadPage` makes where the caller copies the pixels
    // elsewhere anyway. `use` gets null when the page cannot be decoded.
    using PageUser = std::function<void(FIBITMAP*)>;
    virtual void usePage(int index, PageInfo& info, const PageUser& use) {
        Bitmap page = loadPage(index, info);
        use(page.get());
    }
    // Says which pages will be asked for, so that a source may decode the next page while
    // the current one goes through the chain.
    virtual void plan(int first, int end) {}
    // Why the file as a whole cannot be trusted once its pages were read: a directory chain
    // that cannot be followed to its end, so pages after the cut are missing. Empty when the
    // chain ends properly (or loops back onto itself, which loses no page).
    virtual std::string fileProblem() { return {}; }
};

// Opens `path` in this process through FreeImage's multi-page reader, falling back to a
// single-image load when that finds no pages. Null when neither yields a page.
std::unique_ptr<PageSource> openPagesInProcess(const std::string& path);

// The directory chain check behind FreeImagePageSource::fileProblem, on the TIFF at `path`.
std::string directoryChainProblem(const std::string& path);

} // namespace kx::engine
