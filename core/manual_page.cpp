#include "core/manual_page.h"

#include "base/text.h"
#include "base/text_format.h"
#include "core/command_line.h"
#include "core/option_table.h"
#include "settings/setting_keys.h"

#include <map>
#include <sstream>

namespace kx::core {

namespace {

// roff treats a leading "." or "'" as a request and "\" and "-" specially.
std::string escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\''))
        out.insert(0, "\\&");
    return out;
}

// An option line of the usage text: what its value is called and what it does.
struct UsageLine {
    std::string valueName;
    std::string description;
};

// The usage text's option lines, by option name as written there.
std::map<std::string, UsageLine> usageDescriptions() {
    std::map<std::string, UsageLine> descriptions;
    for (const std::string& line : usageLines("kestrelix")) {
        if (line.size() < 29 || line.compare(0, 3, "  -") != 0)
            continue;
        const std::string names = line.substr(2, 26);
        const std::string description = line.substr(28);
        std::istringstream words(names);
        for (std::string word; words >> word;) {
            if (word.back() == ',')
                word.pop_back();
            const size_t equals = word.find('=');
            UsageLine& entry = descriptions[word.substr(0, equals)];
            entry.description = description;
            if (equals != std::string::npos)
                entry.valueName = word.substr(equals + 1);
        }
    }
    return descriptions;
}

std::string settingNameOf(const Option& option) {
    for (const settings::SettingKey& key : settings::settingKeys()) {
        if ((option.integer && key.integer == option.integer) ||
            (option.small && key.small == option.small) ||
            (option.real && key.real == option.real) || (option.text && key.text == option.text))
            return std::string(key.key) + " (" + key.group + ")";
    }
    return {};
}

std::string keywordList(const Option& option) {
    std::string list;
    std::string_view format;
    const std::string name = base::lowerCase(option.name);
    if (option.kind == KeywordKind::Compression)
        format = std::string_view(name).substr(2, name.find('-', 2) - 2);
    for (int32_t value = 0; value < 64; ++value) {
        const std::string keyword = keywordOf(option.kind, value, format);
        if (keyword.empty() || list.find(keyword) != std::string::npos)
            continue;
        list += (list.empty() ? "" : ", ") + keyword;
    }
    return list;
}

std::string valueName(ValueType type) {
    switch (type) {
    case ValueType::Number:
        return "NUM";
    case ValueType::Real:
        return "REAL";
    case ValueType::Keyword:
        return "KEYWORD";
    case ValueType::Text:
        return "STR";
    case ValueType::Flag:
        break;
    }
    return "";
}

} // namespace

std::vector<OptionDoc> optionDocs() {
    const auto described = usageDescriptions();
    std::vector<OptionDoc> docs;
    docs.push_back(
        {{{"-h", ""}, {"-?", ""}, {"--help", ""}}, described.at("--help").description + "."});
    docs.push_back({{{"-v", ""}, {"--version", ""}}, described.at("--version").description + "."});
    for (const Option& option : optionTable()) {
        OptionDoc doc;
        const std::string name = base::lowerCase(option.name);
        const auto usage = described.find(name);
        const bool inUsage = usage != described.end();
        const std::string value = inUsage && !usage->second.valueName.empty()
                                      ? usage->second.valueName
                                      : valueName(option.type);
        if (!option.shortName.empty())
            doc.forms.push_back(
                {base::lowerCase(option.shortName), value.empty() ? "" : " " + value});
        doc.forms.push_back({name, value.empty() ? "" : "=" + value});
        if (inUsage)
            doc.description = usage->second.description + ".";
        else if (option.action == OptionAction::InputList)
            doc.description = "Converts the files and folders named in FILE too, one path a "
                              "line; - reads the list from standard input. Relative paths keep "
                              "their folders below the output folder.";
        if (option.action == OptionAction::Input)
            doc.description += " May be given again, and the words after FILE up to the next "
                               "option are inputs too. A folder is converted with every TIFF "
                               "below it.";
        else if (const std::string setting = settingNameOf(option); !setting.empty())
            doc.description = "Sets " + setting + ".";
        if (option.type == ValueType::Keyword)
            doc.description += " One of: " + keywordList(option) + ".";
        if (option.scope == OptionScope::Profile)
            doc.description += " Accepted in settings profiles only.";
        else if (option.scope == OptionScope::CommandLine && option.action == OptionAction::Store)
            doc.description += " Accepted on the command line only.";
        if (!doc.description.empty() && doc.description.front() == ' ')
            doc.description.erase(0, 1);
        docs.push_back(std::move(doc));
    }
    return docs;
}

namespace {

std::string htmlEscaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void writeRoffOptions(std::ostringstream& page) {
    for (const OptionDoc& doc : optionDocs()) {
        page << ".TP\n";
        for (size_t i = 0; i < doc.forms.size(); ++i) {
            const auto& [name, value] = doc.forms[i];
            page << (i ? ", " : "") << "\\fB" << escaped(name) << "\\fR";
            if (!value.empty())
                page << escaped(value.substr(0, 1)) << "\\fI" << escaped(value.substr(1)) << "\\fR";
        }
        page << "\n" << escaped(doc.description) << "\n";
    }
}

} // namespace

std::string optionsHtml() {
    std::ostringstream html;
    html << "<dl class=\"options\">\n";
    for (const OptionDoc& doc : optionDocs()) {
        html << "<dt>";
        for (size_t i = 0; i < doc.forms.size(); ++i) {
            const auto& [name, value] = doc.forms[i];
            html << (i ? ", " : "") << "<code>" << htmlEscaped(name);
            if (!value.empty())
                html << htmlEscaped(value.substr(0, 1)) << "<var>" << htmlEscaped(value.substr(1))
                     << "</var>";
            html << "</code>";
        }
        html << "</dt>\n<dd>" << htmlEscaped(doc.description) << "</dd>\n";
    }
    html << "</dl>\n";
    return html.str();
}

std::string manualPage(const std::string& programName) {
    std::ostringstream page;
    page << ".TH " << base::upperCase(programName) << " 1 \"\" \"" << escaped(base::titleText())
         << "\" \"User Commands\"\n"
         << ".SH NAME\n"
         << escaped(programName) << " \\- convert TIFF images, every page included, to BMP\n"
         << ".SH SYNOPSIS\n"
         << ".B " << escaped(programName) << "\n.RI [ FILE ]\n.br\n"
         << ".B " << escaped(programName) << "\n\\fB\\-i\\fR \\fIFILE\\fR [\\fIoptions\\fR]\n"
         << ".SH DESCRIPTION\n"
         << "Started without parameters, or with one file as its only parameter, the program "
            "opens its window. With \\fB\\-i\\fR it converts the one file from the command "
            "line: each page passes the chain of rotation, resizing, tone mapping, flipping, "
            "colour correction, greyscale, threshold, dithering, frame, watermark and output "
            "depth, and is written as a BMP file named by the file-name mask; pages of a "
            "multi-page file get [1], [2], ... before the extension.\n"
         << ".PP\nOnly one copy of the window runs at a time per runtime folder "
            "(\\fBXDG_RUNTIME_DIR\\fR when that folder is the user's alone, else a folder "
            "below \\fBTMPDIR\\fR or /tmp): a "
            "second start hands its file to the window that runs. Command-line conversions run "
            "side by side, and beside the window. Where no lock can be kept, the program says "
            "so on standard error and runs without it.\n"
         << ".SH OPTIONS\n";
    writeRoffOptions(page);
    page << ".SH SETTINGS PROFILES\n"
         << "A profile is a settings file whose group \\fB[CLI]\\fR holds options as keys, "
            "for example:\n"
         << ".PP\n.nf\n[CLI]\n\\-\\-WIDTH = 50\n\\-\\-WIDTH\\-UNIT = PERCENT\n"
            "\\-\\-BMP\\-BPP = 8\n.fi\n"
         << ".SH EXIT STATUS\n"
         << "Always 0. Scripts read the closing line: \"Conversion complete\", \"Conversion "
            "stopped\" or a line beginning \"Error: \".\n"
         << ".SH EXAMPLES\n.nf\n"
         << escaped(programName) << " \\-i scan.tif \\-o out/\n"
         << escaped(programName)
         << " \\-i scan.tif \\-o out/ \\-\\-width=50 \\-\\-width\\-unit=PERCENT\n"
         << escaped(programName) << " \\-i scan.tif \\-\\-profile=settings.ini \\-q\n.fi\n"
         << ".SH FILES\n"
         << "\\fI~/.config/Kestrelix/quorvant/config.ini\\fR, the settings of the window.\n"
         << ".SH SEE ALSO\n"
         << escaped(std::string(base::k_homepage)) << "\n";
    return page.str();
}

} // namespace kx::core
