#include "ui/theme_archive.h"
#include "ui/theme_config.h"

// Reads arbitrary bytes as a theme archive: the directory, every entry whole and cut, and
// the theme.cfg lookups, checking that every unpacked entry has the size its directory states.

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kx::ui::ThemeArchive archive;
    if (!archive.openBytes(std::string(reinterpret_cast<const char*>(data), size)))
        return 0;
    for (const auto& [name, stated] : archive.entries()) {
        if (const auto whole = archive.readEntry(name);
            whole && static_cast<std::int64_t>(whole->size()) != stated)
            std::abort();
        if (const auto cut = archive.readEntryPrefix(name, 255); cut && cut->size() > 255)
            std::abort();
    }
    if (const auto config = archive.readEntry("theme.cfg")) {
        kx::ui::readThemeValue(*config, "Theme", "Name");
        kx::ui::readThemeValue(*config, "Icons", "Add");
        kx::ui::completePictureFileName(kx::ui::readThemeValue(*config, "Buttons", "Convert"), 16);
    }
    return 0;
}
