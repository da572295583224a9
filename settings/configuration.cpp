#include "settings/configuration.h"

#include "base/file_replace.h"
#include "settings/setting_keys.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <pwd.h>
#include <string_view>
#include <unistd.h>

namespace kx::settings {

namespace {

constexpr int32_t k_layoutVersion = 19;
constexpr std::string_view k_extToken = "%ext%";

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/tmp";
}

std::string configurationHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = xdg && xdg[0] == '/' ? std::string(xdg) : homeFolder() + "/.config";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base;
}

void readKey(Settings& settings, const SettingsFile& file, const SettingKey& key,
             const Settings& defaults) {
    switch (key.kind) {
    case Kind::Integer:
    case Kind::Date:
        settings.*key.integer = file.readInteger(key.group, key.key, defaults.*key.integer);
        break;
    case Kind::Small:
        // Only the low 8 bits of an out-of-range value survive, as in the stored field.
        settings.*key.small =
            static_cast<int8_t>(file.readInteger(key.group, key.key, defaults.*key.small));
        break;
    case Kind::Real:
        settings.*key.real = file.readReal(key.group, key.key, defaults.*key.real);
        break;
    case Kind::Text:
        settings.*key.text = file.readText(key.group, key.key, defaults.*key.text);
        break;
    }
}

void updateOlderLayout(Settings& settings, const SettingsFile& file) {
    const int32_t version = settings.cfg;
    if (version < 11 && settings.filenameMask.find(k_extToken) == std::string::npos)
        settings.filenameMask += ".%ext%";
    // Saturates: an absurd stored value must not overflow.
    if (version < 14 && settings.rawLoadAs != 0)
        settings.rawLoadAs =
            settings.rawLoadAs > INT32_MAX - 2 ? INT32_MAX : settings.rawLoadAs + 2;
    if (version < 19) {
        if (const int32_t mode = file.readInteger("Input", "PSD Color Model", 0); mode != 0)
            settings.psdColorMode = mode;
        if (const int32_t mode = file.readInteger("Output", "TIFF Color Model", 0); mode != 0)
            settings.tiffColorMode = mode;
    }
}

const std::vector<std::string>* formatListOf(std::string_view group) {
    if (group == "Input")
        return &inputFormatList();
    if (group == "Output")
        return &outputFormatList();
    return nullptr;
}

void writeKey(SettingsFile& file, const SettingKey& key, const Settings& settings) {
    switch (key.kind) {
    case Kind::Integer:
    case Kind::Date:
        file.writeInteger(key.group, key.key,
                          key.integer == &Settings::cfg ? k_layoutVersion : settings.*key.integer);
        break;
    case Kind::Small:
        file.writeInteger(key.group, key.key, settings.*key.small);
        break;
    case Kind::Real:
        file.writeReal(key.group, key.key, settings.*key.real);
        break;
    case Kind::Text:
        file.writeText(key.group, key.key, settings.*key.text);
        break;
    }
}

// The group's own keys in table order, then the keys of each offered format in the order of
// the format list.
void writeGroup(SettingsFile& file, std::string_view group, const Settings& settings) {
    for (const SettingKey& key : settingKeys()) {
        if (key.group == group && *key.formatKey == '\0')
            writeKey(file, key, settings);
    }
    const std::vector<std::string>* formats = formatListOf(group);
    if (!formats)
        return;
    for (const std::string& format : *formats) {
        for (const SettingKey& key : settingKeys()) {
            if (key.group == group && format == key.formatKey)
                writeKey(file, key, settings);
        }
    }
}

} // namespace

std::string configurationPath() {
    const std::string folder = configurationHome() + "/Kestrelix/quorvant";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder + "/config.ini";
}

void readConfiguration(Settings& settings, const SettingsFile& file) {
    Settings defaults;
    applyDefaults(defaults, false);
    defaults.cfg = 0;
    Settings loaded;
    for (const SettingKey& key : settingKeys())
        readKey(loaded, file, key, defaults);
    updateOlderLayout(loaded, file);
    settings = std::move(loaded);
}

void loadConfiguration(Settings& settings, const std::string& path, DesktopSize desktop) {
    const std::optional<SettingsFile> file = SettingsFile::open(path);
    if (!file) {
        applyDefaults(settings, false, desktop);
        return;
    }
    readConfiguration(settings, *file);
}

std::string serializeConfiguration(const Settings& settings) {
    SettingsFile file;
    for (const char* group : settingGroups()) {
        const bool windowHidden =
            std::string_view(group) == "Window" && settings.saveWindowPosition != 1;
        if (!windowHidden)
            writeGroup(file, group, settings);
        file.writeComment(group, "");
    }
    return file.serialize();
}

bool saveConfiguration(const Settings& settings, const std::string& path) {
    try {
        return base::replaceFileContent(path, serializeConfiguration(settings));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace kx::settings
