#pragma once

#include "settings/settings.h"

#include <cstdint>
#include <span>
#include <string>

namespace kx::settings {

enum class Kind { Integer, Small, Real, Text, Date };

// One configuration key: where it lives in the file and which field of `Settings` holds it.
// Exactly one of the member pointers is set, matching `kind` (Date uses `integer`).
struct SettingKey {
    const char* group;
    const char* key;
    Kind kind;
    int32_t Settings::*integer = nullptr;
    int8_t Settings::*small = nullptr;
    float Settings::*real = nullptr;
    std::string Settings::*text = nullptr;
    // Non-empty for the loading and saving keys of one format: written only while that
    // format is in the input or output format list.
    const char* formatKey = "";
};

// Every key in the order of the configuration file. The `Window` group's keys come in
// their file order (IsMaximized, Width, Height, X, Y).
std::span<const SettingKey> settingKeys();

// The groups in file order.
std::span<const char* const> settingGroups();

} // namespace kx::settings
