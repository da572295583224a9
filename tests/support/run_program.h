#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kx::test {

struct ProgramResult {
    std::string out; // standard output
    std::string err; // standard error
    int exitStatus = -1;
    int signal = 0; // non-zero when the program was killed by a signal

    // Standard output split into lines.
    std::vector<std::string> lines() const;
};

// Runs `program` with `arguments`, standard input at end of file, and the environment plus
// `environment` (NAME, VALUE pairs), in `folder` when it is not empty. Waits for it to end.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::pair<std::string, std::string>>& environment = {},
                         const std::string& folder = {});

} // namespace kx::test
