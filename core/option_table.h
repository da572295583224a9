#pragma once

#include "core/keywords.h"
#include "settings/settings.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kx::core {

// How an option's value is read.
enum class ValueType { Number, Real, Keyword, Text, Flag };

// What an option does beyond storing its value in a settings field.
enum class OptionAction {
    Store,
    Input,
    InputList,
    Output,
    Conversion,
    Profile,
    Debug,
    Quiet,
    Pause
};

// Where an option name is accepted: on the command line, as a key of a settings profile, or
// both.
enum class OptionScope { Everywhere, CommandLine, Profile };

// One option as the command line and settings profiles know it. A `Store` option names exactly
// one settings field matching its value type (a keyword may go to an integer or a small field,
// a flag stores `flagValue` in its small field). `switchOn`, when set, is the step the option
// turns on, set to `switchValue`.
struct Option {
    std::string_view name;      // long form, upper case, e.g. "--WIDTH"
    std::string_view shortName; // "-I" etc., or empty
    ValueType type = ValueType::Flag;
    OptionAction action = OptionAction::Store;
    OptionScope scope = OptionScope::Everywhere;
    KeywordKind kind = KeywordKind::DdsLoadAs;
    int32_t settings::Settings::*integer = nullptr;
    int8_t settings::Settings::*small = nullptr;
    float settings::Settings::*real = nullptr;
    std::string settings::Settings::*text = nullptr;
    int8_t flagValue = 1;
    int8_t settings::Settings::*switchOn = nullptr;
    int8_t switchValue = 1;
};

// Every option, in the order of the usage documentation.
std::span<const Option> optionTable();

// The option whose long or short name equals `upperName` exactly and which is accepted on the
// command line (`profile` false) or as a profile key (`profile` true); null when none is.
const Option* findOption(std::string_view upperName, bool profile);

} // namespace kx::core
