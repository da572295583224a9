#include "engine/drawing_module.h"

#include "base/program_module.h"

namespace kx::engine {

namespace {

struct LoadedTable {
    const DrawingFunctions* table = nullptr;
    std::string problem;
};

LoadedTable loadTable() {
    LoadedTable loaded;
    loaded.table = base::programModuleTable<DrawingFunctions>(
        k_drawingModuleName, k_drawingEntryName, k_drawingTableVersion, loaded.problem);
    return loaded;
}

} // namespace

const DrawingFunctions* drawingFunctions(std::string& why) {
    static const LoadedTable loaded = loadTable();
    if (!loaded.table)
        why = loaded.problem;
    return loaded.table;
}

bool fontCanBeLoaded(const std::string& family) {
    const DrawingFunctions* drawing = drawingFunctions();
    return drawing && drawing->fontAvailable(family.c_str());
}

DrawingSupport::~DrawingSupport() {
    if (m_gui)
        drawingFunctions()->endGui(m_gui);
}

bool DrawingSupport::start(std::string& why) {
    const DrawingFunctions* drawing = drawingFunctions(why);
    if (!drawing)
        return false;
    if (!m_gui)
        m_gui = drawing->startGui();
    return true;
}

} // namespace kx::engine
