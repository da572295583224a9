#pragma once

namespace kx::engine {

// Indices [first, end) of the pages `TIFF Frame Loading` selects from `pageCount` pages:
// 0 all, 1 first, 2 middle (page count / 2 rounded up), 3 last, 4 a uniformly random page;
// other values select all pages. Empty when there are no pages.
struct PageRange {
    int first = 0;
    int end = 0;
};
PageRange choosePageRange(int frameLoading, int pageCount);

} // namespace kx::engine
