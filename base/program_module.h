#pragma once

#include <string>

namespace kx::base {

// Where the part `fileName` of the program (the decoder, a module) lies: beside the program,
// else in the library folder of an installed copy (../lib/kestrelix/ from the program's
// folder); the path beside the program when it is in neither. Never a path compiled in from
// the build, which would let whoever can write there run code as the user.
std::string programPartPath(const std::string& fileName);

// Opens the shared module `fileName` (for example "libkestrelix-drawing.so") found by
// programPartPath. The module stays loaded until the process ends.
// Null when it cannot be opened, with the reason in `why`.
void* openProgramModule(const std::string& fileName, std::string& why);

// The address of the plain-C symbol `name` in `module`; null with the reason in `why`.
void* programModuleSymbol(void* module, const char* name, std::string& why);

// The function table that the module `fileName` hands out through its plain-C entry
// `entryName`, when the table's `version` equals `version` (the module was built with this
// program). Null with the reason in `why`.
template <typename Table>
const Table* programModuleTable(const char* fileName, const char* entryName, int version,
                                std::string& why) {
    void* module = openProgramModule(fileName, why);
    if (!module)
        return nullptr;
    using Entry = const Table* (*)();
    const auto entry = reinterpret_cast<Entry>(programModuleSymbol(module, entryName, why));
    if (!entry)
        return nullptr;
    const Table* table = entry();
    if (!table || table->version != version) {
        why = std::string("the module ") + fileName + " belongs to another version of the program";
        return nullptr;
    }
    return table;
}

} // namespace kx::base