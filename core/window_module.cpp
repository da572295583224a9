#include "core/window_module.h"

#include "engine/program_module.h"

#include <cstdio>

namespace kx::core {

namespace {

const WindowFunctions* loadTable(std::string& why) {
    void* module = engine::openProgramModule(k_windowModuleName, why);
    if (!module)
        return nullptr;
    using Entry = const WindowFunctions* (*)();
    const auto entry =
        reinterpret_cast<Entry>(engine::programModuleSymbol(module, k_windowEntryName, why));
    if (!entry)
        return nullptr;
    const WindowFunctions* table = entry();
    if (!table || table->version != k_windowTableVersion) {
        why = std::string("the module ") + k_windowModuleName +
              " belongs to another version of the program";
        return nullptr;
    }
    return table;
}

} // namespace

const WindowFunctions* windowFunctions(const std::string& title) {
    std::string why;
    const WindowFunctions* table = loadTable(why);
    if (!table) {
        std::fprintf(stderr, "%s: the window cannot be opened: %s.\n", title.c_str(), why.c_str());
        std::fflush(stderr);
    }
    return table;
}

} // namespace kx::core
