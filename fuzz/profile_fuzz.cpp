#include "core/command_line.h"
#include "engine/job_state.h"
#include "fuzz/scratch_file.h"
#include "settings/settings.h"

// Reads arbitrary files as settings profiles (--profile=FILE): the settings file reader with
// its size limit, then every entry of the CLI group applied through the option table.

#include <cstdint>
#include <fstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratchFile("profile-fuzz");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    kx::settings::Settings settings;
    kx::settings::applyDefaults(settings, true);
    kx::engine::JobState job;
    (void)kx::core::loadProfile(path, settings, job);
    return 0;
}
