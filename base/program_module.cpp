#include "base/program_module.h"

#include "base/paths.h"

#include <dlfcn.h>

#include <filesystem>

namespace kx::base {

std::string programPartPath(const std::string& fileName) {
    const std::filesystem::path folder(programFolder());
    const std::filesystem::path beside = folder / fileName;
    const std::filesystem::path library = folder / ".." / "lib" / "kestrelix" / fileName;
    std::error_code error;
    if (!std::filesystem::exists(beside, error) && std::filesystem::exists(library, error))
        return library.lexically_normal().string();
    return beside.string();
}

void* openProgramModule(const std::string& fileName, std::string& why) {
    const std::filesystem::path path = programPartPath(fileName);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        why = "the module " + path.string() + " is missing";
        return nullptr;
    }
    // Local binding: the module's own copies of shared code never answer for the program's.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* reason = dlerror();
        why = "the module " + path.string() + " cannot be loaded" +
              (reason ? std::string(": ") + reason : std::string());
    }
    return module;
}

void* programModuleSymbol(void* module, const char* name, std::string& why) {
    dlerror();
    void* symbol = module ? dlsym(module, name) : nullptr;
    if (!symbol)
        why = std::string("the module has no entry ") + name;
    return symbol;
}

} // namespace kx::base