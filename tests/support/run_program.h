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

// A program started by startProgram and not yet waited for.
struct RunningProgram {
    int pid = -1; // -1 when it could not be started
    int outFd = -1;
    int errFd = -1;
};

// Starts `program` as runProgram does, without waiting. When `closedOutput` is set its
// standard output is a pipe nobody reads from (every write to it fails).
RunningProgram startProgram(const std::string& program, const std::vector<std::string>& arguments,
                            const std::vector<std::pair<std::string, std::string>>& environment,
                            bool closedOutput = false);

// Gathers the program's output until it ends and waits for it.
ProgramResult finishProgram(RunningProgram& running);

} // namespace kx::test
