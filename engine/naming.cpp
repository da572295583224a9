#include "engine/naming.h"

#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace kx::engine {

namespace {

constexpr std::string_view k_defaultMask = "%filename%.%ext%";
constexpr std::string_view k_frameToken = "%frame%";

enum class Case { Upper, Lower };

char asciiCase(char c, Case wanted) {
    if (wanted == Case::Upper && c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    if (wanted == Case::Lower && c >= 'A' && c <= 'Z')
        return static_cast<char>(c - 'A' + 'a');
    return c;
}

std::string asciiCased(std::string_view text, Case wanted) {
    std::string out(text);
    for (char& c : out)
        c = asciiCase(c, wanted);
    return out;
}

// File names are bytes: Unicode case mapping is applied only to text that decodes as UTF-8
// and encodes back to the same bytes; anything else keeps its non-ASCII bytes untouched.
std::string cased(std::string_view text, Case wanted) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return asciiCased(text, wanted);
    QStringDecoder decoder(QStringConverter::Utf8);
    const QByteArrayView bytes(text.data(), static_cast<qsizetype>(text.size()));
    const QString decoded = decoder(bytes);
    if (decoder.hasError() || decoded.toUtf8() != bytes)
        return asciiCased(text, wanted);
    const QByteArray mapped =
        (wanted == Case::Upper ? decoded.toUpper() : decoded.toLower()).toUtf8();
    return std::string(mapped.constData(), static_cast<size_t>(mapped.size()));
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
    for (size_t at = from; at + token.size() <= text.size(); ++at) {
        bool same = true;
        for (size_t i = 0; i < token.size() && same; ++i)
            same = asciiCase(text[at + i], Case::Lower) == asciiCase(token[i], Case::Lower);
        if (same)
            return at;
    }
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

std::string tokenValue(size_t index, const JobState& job, const std::tm& now) {
    switch (index) {
    case 0:
        return inputBaseName(job.inputPath);
    case 1:
        return cased(inputBaseName(job.inputPath), Case::Upper);
    case 2:
        return cased(inputBaseName(job.inputPath), Case::Lower);
    case 3:
        return titleCased(inputBaseName(job.inputPath));
    case 4:
        return job.outputFormatKey;
    case 5:
        return cased(job.outputFormatKey, Case::Upper);
    case 6:
        return titleCased(job.outputFormatKey);
    case 7: {
        char year[16];
        std::snprintf(year, sizeof year, "%04d", now.tm_year + 1900);
        return year;
    }
    case 8:
        return twoDigits(now.tm_mon + 1);
    case 9:
        return twoDigits(now.tm_mday);
    case 10:
        return twoDigits(now.tm_hour);
    case 11:
        return twoDigits(now.tm_min);
    case 12:
        return twoDigits(now.tm_sec);
    case 13:
        return std::to_string(job.targetDepth);
    case 14:
        return std::to_string(job.pageWidth);
    case 15:
        return std::to_string(job.pageHeight);
    case 16:
        return std::to_string(job.frameNumber);
    case 17:
        return fiveCharacters(job.randomNumber);
    default:
        return fiveCharacters(job.sequenceNumber);
    }
}

} // namespace

const std::vector<std::string_view>& maskTokens() {
    static const std::vector<std::string_view> tokens{
        "%filename%", "%filename[u]%", "%filename[l]%", "%filename[t]%", "%ext%",   "%ext[u]%",
        "%ext[t]%",   "%yyyy%",        "%mm%",          "%dd%",          "%hh%",    "%ii%",
        "%ss%",       "%bpp%",         "%width%",       "%height%",      "%frame%", "%rnd%",
        "%n%"};
    return tokens;
}

std::string replaceMaskToken(std::string text, std::string_view token, const JobState& job,
                             const std::tm& now) {
    const auto& tokens = maskTokens();
    const auto known = std::find_if(tokens.begin(), tokens.end(), [&](std::string_view candidate) {
        return candidate.size() == token.size() && findToken(candidate, token) == 0;
    });
    size_t at = findToken(text, token);
    if (known == tokens.end() || at == std::string::npos)
        return text;
    const std::string value = tokenValue(static_cast<size_t>(known - tokens.begin()), job, now);
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
    for (std::string_view token : maskTokens())
        name = replaceMaskToken(std::move(name), token, job, now);
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

} // namespace

std::string outputPathProblem(const std::string& path, const std::string& outputFolder,
                              const std::string& inputPath) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target(path);
    const fs::path name = target.filename();
    if (name.empty() || name == "." || name == "..")
        return "the output path " + path + " names no file";
    const fs::path folder = fs::weakly_canonical(fs::absolute(outputFolder, error), error);
    const fs::path parent =
        error ? fs::path() : fs::weakly_canonical(fs::absolute(target, error).parent_path(), error);
    if (error || !isWithin(parent, folder))
        return "the output path " + path + " leaves the output folder " + outputFolder;
    if (!inputPath.empty() && fs::equivalent(target, inputPath, error))
        return "the output path " + path + " is the input file itself";
    return {};
}

bool needsPageSuffix(const settings::Settings& settings, int pageCount) {
    return settings.tiffFrameLoading == 0 && pageCount > 1 &&
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
    std::string out = outputPath;
    out.insert(at, "[" + std::to_string(pageNumber) + "]");
    return out;
}

} // namespace kx::engine
