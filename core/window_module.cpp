#include "core/window_module.h"

#include "base/program_module.h"

#include <cstdio>

namespace kx::core {

const ui::WindowFunctions* windowFunctions(const std::string& title) {
    std::string why;
    const ui::WindowFunctions* table = base::programModuleTable<ui::WindowFunctions>(
        ui::k_windowModuleName, ui::k_windowEntryName, ui::k_windowTableVersion, why);
    if (!table) {
        std::fprintf(stderr, "%s: the window cannot be opened: %s.\n", title.c_str(), why.c_str());
        std::fflush(stderr);
    }
    return table;
}

} // namespace kx::core
