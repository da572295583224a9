#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kx::core {

// One option as the documentation shows it: its spellings, each with the name of its value
// (" FILE" after a short form, "=FILE" after a long one; empty for switches), and what it does.
struct OptionDoc {
    std::vector<std::pair<std::string, std::string>> forms;
    std::string description;
};

// Every option the parser accepts, in the order of its table, with -h and -v first. Each is
// described by the usage text where it has a line there and otherwise by the setting it
// stores and the keywords it accepts, so the documentation cannot drift from the parser.
std::vector<OptionDoc> optionDocs();

// The options as an HTML definition list, for the manual.
std::string optionsHtml();

// The program's manual page in roff (man(7)) for the program named `programName`.
std::string manualPage(const std::string& programName);

} // namespace kx::core
