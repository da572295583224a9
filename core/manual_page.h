#pragma once

#include <string>

namespace kx::core {

// The program's manual page in roff (man(7)) for the program named `programName`. Every
// option comes from the parser's own option table, described by the usage text where it
// has a line there and otherwise by the setting it stores and the keywords it accepts, so the
// page cannot drift from what the parser accepts.
std::string manualPage(const std::string& programName);

} // namespace kx::core
