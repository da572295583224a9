#include "engine/drawing_module.h"

#include "engine/program_module.h"

namespace kx::engine {

namespace {

struct LoadedTable {
    const DrawingFunctions* table = nullptr;
    std::string problem;
};

LoadedTable loadTable() {
    LoadedTable loaded;
    void* module = openProgramModule(k_drawingModuleName, loaded.problem);
    if (!module)
        return loaded;
    using Entry = const DrawingFunctions* (*)();
    const auto entry =
        reinterpret_cast<Entry>(programModuleSymbol(module, k_drawingEntryName, loaded.problem));
    if (!entry)
        return loaded;
    const DrawingFunctions* table = entry();
    if (!table || table->version != k_drawingTableVersion)
        loaded.problem = std::string("the module ") + k_drawingModuleName +
                         " belongs to another version of the program";
    else
        loaded.table = table;
    return loaded;
}

} // namespace

const DrawingFunctions* drawingFunctions(std::string* why) {
    static const LoadedTable loaded = loadTable();
    if (!loaded.table && why)
        *why = loaded.problem;
    return loaded.table;
}

DrawingSupport::~DrawingSupport() {
    if (m_gui)
        drawingFunctions()->endGui(m_gui);
}

bool DrawingSupport::start(std::string& why) {
    const DrawingFunctions* drawing = drawingFunctions(&why);
    if (!drawing)
        return false;
    if (!m_gui)
        m_gui = drawing->startGui();
    return true;
}

} // namespace kx::engine
