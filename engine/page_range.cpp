#include "engine/page_range.h"

#include "engine/job_state.h"

namespace kx::engine {

PageRange choosePageRange(int frameLoading, int pageCount) {
    if (pageCount <= 0)
        return {};
    switch (frameLoading) {
    case 1:
        return {0, 1};
    case 2: {
        const int middle = pageCount / 2 + pageCount % 2;
        return {middle - 1, middle};
    }
    case 3:
        return {pageCount - 1, pageCount};
    case 4: {
        const int random = 1 + drawRandomNumber() % pageCount;
        return {random - 1, random};
    }
    default:
        return {0, pageCount};
    }
}

} // namespace kx::engine
