#pragma once

#include <string>

namespace kx::engine {

// Opens the shared module `fileName` (for example "libkestrelix-drawing.so") from the places
// that belong to the installed program, as the decoder is found: beside the program, else in
// the library folder of an installed copy (../lib/kestrelix/ from the program's folder); never
// from a path compiled in from the build. The module stays loaded until the process ends.
// Null when it cannot be opened, with the reason in `why`.
void* openProgramModule(const std::string& fileName, std::string& why);

// The address of the plain-C symbol `name` in `module`; null with the reason in `why`.
void* programModuleSymbol(void* module, const char* name, std::string& why);

} // namespace kx::engine
