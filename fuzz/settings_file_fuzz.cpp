#include "settings/configuration.h"
#include "settings/settings_file.h"

// Parses arbitrary bytes as a settings file and as a configuration file, and checks that
// writing what was read is stable: what one write produces, the next read and write repeat.

#include <cstdint>
#include <cstdlib>
#include <string_view>

using kx::settings::SettingsFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const SettingsFile file = SettingsFile::parse(bytes);

    file.hasGroup("General");
    file.readText("Watermark", "Text", "fallback");
    file.readInteger("Watermark", "Font Size", 14);
    file.readReal("Adjustment", "Image Gamma", 1.0f);
    file.entries("CLI");

    const std::string once = file.serialize();
    const std::string twice = SettingsFile::parse(once).serialize();
    if (once != twice)
        std::abort();

    kx::settings::Settings settings;
    kx::settings::readConfiguration(settings, file);
    const std::string written = kx::settings::serializeConfiguration(settings);
    kx::settings::Settings reread;
    kx::settings::readConfiguration(reread, SettingsFile::parse(written));
    if (kx::settings::serializeConfiguration(reread) != written)
        std::abort();
    return 0;
}
