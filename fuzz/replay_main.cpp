// The main of a fuzz target built without libFuzzer: feeds every file named on the command line,
// and every file of every folder named there, to the target once, so that the test suite keeps
// each kept input (and every crash a fuzzing run found) passing.
//
// Each input is copied into a buffer of exactly its size, as libFuzzer does, so that a read past
// its end is caught where a sanitizer watches. The name of each input is printed before it runs:
// the last name printed is the one that crashed. Exit status 0 when every input ran, 1 when an
// argument could not be read or named no input at all.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Optional in a target, as with libFuzzer.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

// The files an argument stands for, in name order so that runs are repeatable.
bool collectInputs(const fs::path& argument, std::vector<fs::path>& inputs) {
    std::error_code error;
    if (fs::is_regular_file(argument, error)) {
        inputs.push_back(argument);
        return true;
    }
    if (!fs::is_directory(argument, error))
        return false;
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(argument, error))
        if (entry.is_regular_file(error))
            found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return !error;
}

bool runOne(const fs::path& input) {
    std::ifstream in(input, std::ios::binary);
    if (!in)
        return false;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto copy = std::make_unique<uint8_t[]>(std::max<size_t>(bytes.size(), 1));
    std::copy(bytes.begin(), bytes.end(), copy.get());
    std::fprintf(stderr, "Running: %s (%zu bytes)\n", input.c_str(), bytes.size());
    std::fflush(stderr);
    LLVMFuzzerTestOneInput(copy.get(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 1;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!collectInputs(argv[i], inputs)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs\n");
        return 1;
    }
    for (const fs::path& input : inputs) {
        if (!runOne(input)) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 1;
        }
    }
    std::fprintf(stderr, "Ran %zu inputs\n", inputs.size());
    return 0;
}
