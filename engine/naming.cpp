#include "engine/naming.h"

#include "base/text.h"

#include <locale.h>
#include <sys/stat.h>
#include <wctype.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

namespace kx::engine {

namespace {

constexpr std::string_view k_defaultMask = "%filename%.%ext%";
constexpr std::string_view k_frameToken = "%frame%";

enum class Case { Upper, Lower };

std::string asciiCased(std::string_view text, Case wanted) {
    return wanted == Case::Upper ? base::upperCase(text) : base::lowerCase(text);
}

// The code points of `text` when it is well-formed UTF-8 (no overlong forms, surrogates or
// values past U+10FFFF), else nothing.
std::optional<std::vector<char32_t>> decodeUtf8(std::string_view text) {
    std::vector<char32_t> points;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80   ? 1
                              : lead < 0xC2 ? 0
                              : lead < 0xE0 ? 2
                              : lead < 0xF0 ? 3
                              : lead < 0xF5 ? 4
                                            : 0;
        if (length == 0 || i + length > text.size())
            return std::nullopt;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            point = (point << 6) | (next & 0x3F);
        }
        const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if ((length > 1 && point < smallest) || point > 0x10FFFF ||
            (point >= 0xD800 && point <= 0xDFFF))
            return std::nullopt;
        points.push_back(point);
        i += length;
    }
    return points;
}

void appendUtf8(std::string& out, char32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// The C library's Unicode character classes, whatever locale the process runs in.
locale_t unicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return locale;
}

// Upper-case letters that become more than one letter.
std::string_view upperExpansion(char32_t point) {
    switch (point) {
    case 0xDF:
        return "SS";
    case 0xFB00:
        return "FF";
    case 0xFB01:
        return "FI";
    case 0xFB02:
        return "FL";
    case 0xFB03:
        return "FFI";
    case 0xFB04:
        return "FFL";
    case 0xFB05:
    case 0xFB06:
        return "ST";
    default:
        return {};
    }
}

// File names are bytes: Unicode case mapping is applied only to text that is well-formed
// UTF-8; anything else keeps its non-ASCII bytes untouched.
std::string cased(std::string_view text, Case wanted) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return asciiCased(text, wanted);
    // Loading the Unicode tables costs more than converting a small page: only when needed.
    const locale_t locale = unicodeLocale();
    if (locale == locale_t{})
        return asciiCased(text, wanted);
    const std::optional<std::vector<char32_t>> points = decodeUtf8(text);
    if (!points)
        return asciiCased(text, wanted);
    std::string out;
    out.reserve(text.size());
    for (const char32_t point : *points) {
        if (const std::string_view expanded = upperExpansion(point);
            wanted == Case::Upper && !expanded.empty()) {
            out += expanded;
            continue;
        }
        const wint_t mapped = wanted == Case::Upper
                                  ? towupper_l(static_cast<wint_t>(point), locale)
                                  : towlower_l(static_cast<wint_t>(point), locale);
        appendUtf8(out, static_cast<char32_t>(mapped));
    }
    return out;
}

bool isUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Length in bytes of the first UTF-8 character of `text`.
size_t firstCharacterLength(std::string_view text) {
    size_t length = text.empty() ? 0 : 1;
    while (length < text.size() && isUtf8Continuation(text[length]))
        ++length;
    return length;
}

std::string titleCased(std::string_view text) {
    const size_t first = firstCharacterLength(text);
    return cased(text.substr(0, first), Case::Upper) + cased(text.substr(first), Case::Lower);
}

// Position of `token` in `text` from `from` on, ignoring ASCII case; tokens are ASCII.
size_t findToken(std::string_view text, std::string_view token, size_t from = 0) {
    if (token.empty() || text.size() < token.size())
        return std::string_view::npos;
    for (size_t at = from; at + token.size() <= text.size(); ++at)
        if (base::equalsIgnoringCase(text.substr(at, token.size()), token))
            return at;
    return std::string_view::npos;
}

// Left-padded with "0" to five characters; a longer number keeps its first five.
std::string fiveCharacters(int32_t number) {
    std::string digits = std::to_string(number);
    if (digits.size() < 5)
        digits.insert(0, 5 - digits.size(), '0');
    return digits.substr(0, 5);
}

std::string twoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string inputBaseName(const std::string& inputPath) {
    const size_t slash = inputPath.rfind('/');
    std::string name = slash == std::string::npos ? inputPath : inputPath.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// The tokens a filename mask or a watermark text may hold.
enum class MaskToken {
    FileName,
    FileNameUpper,
    FileNameLower,
    FileNameTitle,
    Extension,
    ExtensionUpper,
    ExtensionTitle,
    Year,
    Month,
    Day,
    Hour,
    Minute,
    Second,
    Bpp,
    Width,
    Height,
    Frame,
    Random,
    Sequence
};

struct MaskTokenText {
    MaskToken token;
    std::string_view text;
};

// Their texts, in the order they are expanded.
constexpr MaskTokenText k_maskTokens[] = {
    {MaskToken::FileName, "%filename%"},
    {MaskToken::FileNameUpper, "%filename[u]%"},
    {MaskToken::FileNameLower, "%filename[l]%"},
    {MaskToken::FileNameTitle, "%filename[t]%"},
    {MaskToken::Extension, "%ext%"},
    {MaskToken::ExtensionUpper, "%ext[u]%"},
    {MaskToken::ExtensionTitle, "%ext[t]%"},
    {MaskToken::Year, "%yyyy%"},
    {MaskToken::Month, "%mm%"},
    {MaskToken::Day, "%dd%"},
    {MaskToken::Hour, "%hh%"},
    {MaskToken::Minute, "%ii%"},
    {MaskToken::Second, "%ss%"},
    {MaskToken::Bpp, "%bpp%"},
    {MaskToken::Width, "%width%"},
    {MaskToken::Height, "%height%"},
    {MaskToken::Frame, "%frame%"},
    {MaskToken::Random, "%rnd%"},
    {MaskToken::Sequence, "%n%"},
};

std::string tokenValue(MaskToken token, const JobState& job, const std::tm& now) {
    switch (token) {
    case MaskToken::FileName:
        return inputBaseName(job.inputPath);
    case MaskToken::FileNameUpper:
        return cased(inputBaseName(job.inputPath), Case::Upper);
    case MaskToken::FileNameLower:
        return cased(inputBaseName(job.inputPath), Case::Lower);
    case MaskToken::FileNameTitle:
        return titleCased(inputBaseName(job.inputPath));
    case MaskToken::Extension:
        return job.outputFormatKey;
    case MaskToken::ExtensionUpper:
        return cased(job.outputFormatKey, Case::Upper);
    case MaskToken::ExtensionTitle:
        return titleCased(job.outputFormatKey);
    case MaskToken::Year: {
        char year[16];
        std::snprintf(year, sizeof year, "%04d", now.tm_year + 1900);
        return year;
    }
    case MaskToken::Month:
        return twoDigits(now.tm_mon + 1);
    case MaskToken::Day:
        return twoDigits(now.tm_mday);
    case MaskToken::Hour:
        return twoDigits(now.tm_hour);
    case MaskToken::Minute:
        return twoDigits(now.tm_min);
    case MaskToken::Second:
        return twoDigits(now.tm_sec);
    case MaskToken::Bpp:
        return std::to_string(job.targetDepth);
    case MaskToken::Width:
        return std::to_string(job.pageWidth);
    case MaskToken::Height:
        return std::to_string(job.pageHeight);
    case MaskToken::Frame:
        return std::to_string(job.frameNumber);
    case MaskToken::Random:
        return fiveCharacters(job.randomNumber);
    case MaskToken::Sequence:
        break;
    }
    return fiveCharacters(job.sequenceNumber);
}

} // namespace

const std::vector<std::string_view>& maskTokens() {
    static const std::vector<std::string_view> tokens = [] {
        std::vector<std::string_view> texts;
        for (const MaskTokenText& entry : k_maskTokens)
            texts.push_back(entry.text);
        return texts;
    }();
    return tokens;
}

std::string replaceMaskToken(std::string text, std::string_view token, const JobState& job,
                             const std::tm& now) {
    const auto known = std::find_if(
        std::begin(k_maskTokens), std::end(k_maskTokens), [&](const MaskTokenText& entry) {
            return entry.text.size() == token.size() && findToken(entry.text, token) == 0;
        });
    size_t at = findToken(text, token);
    if (known == std::end(k_maskTokens) || at == std::string::npos)
        return text;
    const std::string value = tokenValue(known->token, job, now);
    // Searching on after the inserted value keeps a value that contains the token from
    // being expanded again.
    while (at != std::string::npos) {
        text.replace(at, token.size(), value);
        at = findToken(text, token, at + value.size());
    }
    return text;
}

std::string replaceMaskToken(std::string text, std::string_view token, const JobState& job) {
    return replaceMaskToken(std::move(text), token, job, localNow());
}

std::string expandFilenameMask(const settings::Settings& settings, const JobState& job) {
    std::string name = cased(settings.filenameMask, Case::Lower);
    if (name.empty())
        name = k_defaultMask;
    const std::tm now = localNow();
    for (std::string_view token : maskTokens()) {
        // Every token starts with '%': a name without one has nothing left to expand.
        if (name.find('%') == std::string::npos)
            break;
        name = replaceMaskToken(std::move(name), token, job, now);
    }
    return name;
}

std::string outputPathForPage(const settings::Settings& settings, const JobState& job) {
    const std::string subfolder = settings.keepSubfolders != 0 ? job.subfolder : std::string();
    return job.outputFolder + subfolder + expandFilenameMask(settings, job);
}

namespace {

// True when `inner` is `outer` or lies below it; both are resolved absolute paths.
bool isWithin(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty())
            continue; // the empty last element of a path ending in "/"
        if (i == inner.end() || *i != *o)
            return false;
    }
    return true;
}

// The absolute, resolved form of `folder`. The last answer is kept: a run asks about the same
// output folder for every page, once as the output folder (with its slash) and once as the
// page's folder (without), which are one folder.
std::filesystem::path resolvedFolder(std::filesystem::path folder, std::error_code& error) {
    if (!folder.has_filename() && folder.has_relative_path())
        folder = folder.parent_path();
    thread_local std::filesystem::path asked;
    thread_local std::filesystem::path resolved;
    if (folder != asked || resolved.empty()) {
        resolved =
            std::filesystem::weakly_canonical(std::filesystem::absolute(folder, error), error);
        asked = error ? std::filesystem::path() : folder;
    }
    return resolved;
}

} // namespace

std::string outputPathProblem(const std::string& path, const std::string& outputFolder,
                              const std::string& inputPath) {
    namespace fs = std::filesystem;
    // The system would cut the name at the NUL, writing a file of another name.
    if (path.find('\0') != std::string::npos)
        return "the output path holds a NUL character, which no file name can";
    std::error_code error;
    const fs::path target(path);
    const fs::path name = target.filename();
    if (name.empty() || name == "." || name == "..")
        return "the output path " + path + " names no file";
    // Both folders are most often the same one.
    const fs::path folder = resolvedFolder(outputFolder, error);
    const fs::path parentPart = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const fs::path parent = error ? fs::path() : resolvedFolder(parentPart, error);
    if (error || !isWithin(parent, folder))
        return "the output path " + path + " leaves the output folder " + outputFolder;
    // The input is looked at only when the page's file exists, which it seldom does.
    struct stat output {};
    struct stat input {};
    if (!inputPath.empty() && stat(path.c_str(), &output) == 0 &&
        stat(inputPath.c_str(), &input) == 0 && output.st_dev == input.st_dev &&
        output.st_ino == input.st_ino)
        return "the output path " + path + " is the input file itself";
    return {};
}

bool needsPageSuffix(const settings::Settings& settings, int pageCount) {
    return settings.tiffFrameLoading == settings::FrameLoading::All && pageCount > 1 &&
           findToken(settings.filenameMask, k_frameToken) == std::string::npos;
}

std::string withPageSuffix(const std::string& outputPath, int pageNumber,
                           std::string_view outputFormatKey) {
    const size_t slash = outputPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // Counting characters rather than bytes keeps a multi-byte character whole.
    size_t at = outputPath.size();
    for (size_t left = outputFormatKey.size() + 1; left > 0 && at > nameStart; --left) {
        --at;
        while (at > nameStart && isUtf8Continuation(outputPath[at]))
            --at;
    }
    std::string out = outputPath.substr(0, at);
    out += '[';
    out += std::to_string(pageNumber);
    out += ']';
    out.append(outputPath, at);
    return out;
}

} // namespace kx::engine
