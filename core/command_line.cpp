#include "core/command_line.h"

#include "base/number_text.h"
#include "base/text.h"
#include "base/text_format.h"
#include "core/keywords.h"
#include "core/option_table.h"
#include "settings/settings_file.h"

#include <array>
#include <new>
#include <optional>

namespace kx::core {

namespace {

using settings::Settings;

constexpr std::string_view k_incorrectParameters = "Incorrect number of parameters";
constexpr std::string_view k_invalidProfile = "Invalid profile file";

std::string_view trimSpaces(std::string_view text) {
    return base::trimmed(text, " ");
}

std::string_view trimSpacesAndTabs(std::string_view text) {
    return base::trimmed(text, " \t");
}

// Reads a value broken at spaces back together: a value that opens a double quote without
// closing it takes the following parameters, each after one space, up to the first one that
// closes the quote or the end of the list. `index` is left on the last parameter taken.
std::string joinQuoted(std::string_view first, const std::vector<std::string>& parameters,
                       size_t& index) {
    std::string value(first);
    if (first.empty() || first.front() != '"' || (first.size() > 1 && first.back() == '"'))
        return value;
    while (index + 1 < parameters.size()) {
        const std::string piece = optionValue(parameters[++index]);
        value += ' ';
        value += piece;
        if (!piece.empty() && piece.back() == '"')
            break;
    }
    return value;
}

std::string stripQuotes(std::string_view value) {
    return std::string(base::trimmed(value, "\""));
}

void storeInteger(const Option& option, int32_t value, Settings& settings) {
    if (option.integer)
        settings.*option.integer = value;
    else if (option.small)
        settings.*option.small = static_cast<int8_t>(value);
}

void storeValue(const Option& option, const std::string& value, Settings& settings) {
    switch (option.type) {
    case ValueType::Number:
        storeInteger(option, optionNumber(value), settings);
        break;
    case ValueType::Keyword:
        storeInteger(option, keywordValue(option.kind, trimSpaces(value)), settings);
        break;
    case ValueType::Real:
        settings.*option.real = optionReal(value);
        break;
    case ValueType::Text:
        settings.*option.text = value;
        break;
    case ValueType::Flag:
        settings.*option.small = option.flagValue;
        break;
    }
}

// Applies one option with its prepared value. False when a profile it names is refused.
bool applyOption(const Option& option, const std::string& value, Settings& settings,
                 engine::JobState& job, ParseResult& result) {
    switch (option.action) {
    case OptionAction::Store:
        storeValue(option, value, settings);
        break;
    case OptionAction::Input:
        if (result.inputs.empty())
            job.commandLineInputPath = value;
        result.inputs.push_back(value);
        job.consoleMode = true;
        break;
    case OptionAction::InputList:
        result.inputLists.push_back(value);
        job.consoleMode = true;
        break;
    case OptionAction::Output:
        job.outputFolder = value;
        break;
    case OptionAction::Conversion:
        job.outputFormatKey = value;
        break;
    case OptionAction::Profile:
        if (!loadProfile(value, settings, job)) {
            result.error = k_invalidProfile;
            return false;
        }
        break;
    case OptionAction::Debug:
        job.debugKeyword = "DEBUG";
        break;
    case OptionAction::Quiet:
        result.quiet = true;
        break;
    case OptionAction::Pause:
        result.pause = true;
        break;
    }
    if (option.switchOn)
        settings.*option.switchOn = option.switchValue;
    return true;
}

bool takesPath(const Option& option) {
    return option.action == OptionAction::Input || option.action == OptionAction::Output ||
           option.action == OptionAction::Conversion;
}

// The value of the option at `index`, advancing `index` past any parameter it takes; nullopt
// when the value is refused.
std::optional<std::string> valueOf(const Option& option, const std::string& name,
                                   const std::vector<std::string>& parameters, size_t& index) {
    std::string value;
    if (takesPath(option)) {
        if (name == option.shortName)
            value = ++index < parameters.size() ? optionValue(parameters[index]) : std::string();
        else
            value = optionValue(parameters[index]);
        if (value.empty() || value.front() == '-')
            return std::nullopt;
    } else {
        value = optionValue(parameters[index]);
        if (value.empty() || value.starts_with("--"))
            return std::nullopt;
    }
    if (option.type != ValueType::Text)
        return value;
    if (option.action == OptionAction::Conversion)
        return stripQuotes(value);
    return stripQuotes(joinQuoted(value, parameters, index));
}

constexpr std::array<std::string_view, 36> k_usage = {
    " ",
    "Usage: %s1% -i <filename> [options]",
    " ",
    "  %s1% -i example.%s2%",
    "  %s1% -i c:\\tmp\\example.%s2%",
    "  %s1% -i c:\\tmp\\example.%s2% -o d:\\converted",
    "  %s1% -i c:\\tmp\\example.%s2% -o d:\\converted --jpg-quality=95",
    " ",
    "Options:",
    " ",
    "  -h, -?, --help            Display this help and exit",
    "  -i FILE, --input=FILE     Set input file",
    "  -o PATH, --output=PATH    Set output folder",
    "  -c STR, --conversion=STR  Set output extension, STR = (jpg | bmp | ...)",
    " ",
    "Advanced options:",
    " ",
    "  --width=NUM               Set output image width",
    "  --height=NUM              Set output image height",
    "  --filename-mask=STR       Define output filename format",
    "  --flip-horizontal         Flip output image horizontally",
    "  --flip-vertical           Flip output image vertically",
    "  --brightness=NUM          Set output image brightness, NUM = -100..100",
    "  --contrast=NUM            Set output image contrast, NUM = -100..100",
    "  --gamma=NUM               Set output image gamma, NUM = 0.01..9.99",
    "  --invert                  Invert output image",
    "  --greyscale               Greyscale output image",
    "  --profile=FILE            Set configuration file with required settings",
    "    ...                     Refer documentation for all available options",
    " ",
    "Other options:",
    " ",
    "  -q, --quiet               Don't print status messages to stdout",
    "  -d, --debug               Print debug information to stdout",
    "  -p, --pause               Pause at exit",
    "  -v, --version             Display version information and exit",
};

// An input format offered by this build, drawn afresh for each example line.
std::string anyInputFormat() {
    const auto& formats = settings::inputFormatList();
    if (formats.empty())
        return {};
    return formats[static_cast<size_t>(engine::drawRandomNumber()) % formats.size()];
}

} // namespace

std::string optionName(const std::string& parameter) {
    std::string_view text = trimSpaces(parameter);
    if (!text.starts_with('-'))
        return {};
    if (text.starts_with("--"))
        text = text.substr(0, text.find('='));
    return base::upperCase(text);
}

std::string optionValue(const std::string& parameter) {
    const std::string_view text = trimSpaces(parameter);
    if (text.starts_with("--")) {
        const auto equals = text.find('=');
        if (equals != std::string_view::npos)
            return std::string(text.substr(equals + 1));
    }
    return std::string(text);
}

int32_t optionNumber(std::string_view value) {
    return base::readInteger(trimSpacesAndTabs(value), base::Overflow::Wrap, true).value;
}

float optionReal(std::string_view value) {
    return base::realOfText(trimSpacesAndTabs(value));
}

ParseResult parseCommandLine(const std::vector<std::string>& parameters, Settings& settings,
                             engine::JobState& job) {
    ParseResult result;
    for (size_t index = 0; index < parameters.size(); ++index) {
        const std::string name = optionName(parameters[index]);
        const Option* option = findOption(name, false);
        if (!option)
            continue;
        std::string value;
        if (option->type != ValueType::Flag) {
            std::optional<std::string> found = valueOf(*option, name, parameters, index);
            if (!found) {
                result.error = k_incorrectParameters;
                break;
            }
            value = std::move(*found);
        }
        if (!applyOption(*option, value, settings, job, result))
            break;
        if (option->action == OptionAction::Input) {
            while (index + 1 < parameters.size() && !parameters[index + 1].starts_with('-')) {
                if (std::string word = stripQuotes(optionValue(parameters[++index])); !word.empty())
                    result.inputs.push_back(std::move(word));
            }
        }
    }
    return result;
}

bool loadProfile(const std::string& path, Settings& settings, engine::JobState& job) {
    if (path.empty())
        return false;
    // Out of memory while reading, the profile is refused like any unreadable file.
    try {
        const std::optional<settings::SettingsFile> file = settings::SettingsFile::open(path);
        if (!file)
            return false;
        ParseResult ignored;
        for (const auto& [key, raw] : file->entries("CLI")) {
            const Option* option = findOption(base::upperCase(key), true);
            if (!option)
                continue;
            std::string value(trimSpaces(raw));
            // A mask may need its outer spaces, so profiles quote it.
            if (option->name == "--FILENAME-MASK")
                value = stripQuotes(value);
            applyOption(*option, value, settings, job, ignored);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::vector<std::string> usageLines(const std::string& programName) {
    std::vector<std::string> lines;
    lines.reserve(k_usage.size());
    for (std::string_view line : k_usage)
        lines.push_back(base::formatText(line, programName, anyInputFormat()));
    return lines;
}

} // namespace kx::core
