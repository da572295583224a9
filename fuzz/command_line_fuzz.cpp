#include "core/command_line.h"
#include "engine/job_state.h"
#include "settings/settings.h"

// Feeds arbitrary parameter lists to the command-line parser. Parameters are separated by NUL
// or newline bytes, so the fuzzer can shape quotes, "=" and option names freely. Profiles named
// by the input are read from disk if they happen to exist; nothing is written.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parameters(1);
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\0' || c == '\n')
            parameters.emplace_back();
        else
            parameters.back() += c;
    }

    kx::settings::Settings settings;
    kx::settings::applyDefaults(settings, true);
    kx::engine::JobState job;
    const kx::core::ParseResult result = kx::core::parseCommandLine(parameters, settings, job);

    // Every conversion on its own as well, with the raw bytes as one value.
    const std::string whole(reinterpret_cast<const char*>(data), size);
    volatile int32_t number = kx::core::optionNumber(whole);
    volatile float real = kx::core::optionReal(whole);
    (void)number;
    (void)real;
    (void)kx::core::optionName(whole);
    (void)kx::core::optionValue(whole);
    (void)result;
    return 0;
}
