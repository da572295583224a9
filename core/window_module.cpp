#include "core/window_module.h"

#include "engine/program_module.h"

#include <cstdio>

namespace kx::core {

const WindowFunctions* windowFunctions(const std::string& title) {
    std::string why;
    const WindowFunctions* table = engine::programModuleTable<WindowFunctions>(
        k_windowModuleName, k_windowEntryName, k_windowTableVersion, why);
    if (!table) {
        std::fprintf(stderr, "%s: the window cannot be opened: %s.\n", title.c_str(), why.c_str());
        std::fflush(stderr);
    }
    return table;
}

} // namespace kx::core
