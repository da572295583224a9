#include "engine/page_range.h"

#include "engine/job_state.h"
#include "settings/settings.h"

namespace kx::engine {

PageRange choosePageRange(int frameLoading, int pageCount) {
    if (pageCount <= 0)
        return {};
    switch (frameLoading) {
    case settings::FrameLoading::First:
        return {0, 1};
    case settings::FrameLoading::Middle: {
        const int middle = pageCount / 2 + pageCount % 2;
        return {middle - 1, middle};
    }
    case settings::FrameLoading::Last:
        return {pageCount - 1, pageCount};
    case settings::FrameLoading::Random: {
        const int random = 1 + drawRandomNumber() % pageCount;
        return {random - 1, random};
    }
    default:
        return {0, pageCount};
    }
}

} // namespace kx::engine
