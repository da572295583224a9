#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kx::settings {

// A file in the group/key/value settings syntax shared by the configuration file, settings
// profiles and translation files. Reading never fails on content: malformed lines are read
// by the syntax's rules. Text is UTF-8 in memory: a file without the UTF-8 byte order mark is
// taken as Latin-1. Not thread-safe; one thread at a time per object.
class SettingsFile {
public:
    // Reads and parses `path`; nullopt when it cannot be opened or read, when it is not a
    // regular file (a FIFO, a device or a folder is refused without waiting on it), when it
    // is larger than k_maxFileSize, or when there is no memory for it.
    static std::optional<SettingsFile> open(const std::string& path);
    // Parses file content already in memory.
    static SettingsFile parse(std::string_view bytes);

    // Groups and keys are matched without regard to ASCII case; the first occurrence of a
    // group, and of a key within it, wins. A missing group or key yields `fallback`.
    bool hasGroup(std::string_view group) const;
    std::string readText(std::string_view group, std::string_view key,
                         const std::string& fallback) const;
    int32_t readInteger(std::string_view group, std::string_view key, int32_t fallback) const;
    float readReal(std::string_view group, std::string_view key, float fallback) const;
    // Key and raw value of every entry of `group`, in file order.
    std::vector<std::pair<std::string, std::string>> entries(std::string_view group) const;

    // Writing: a new entry is appended to its group (a new group at the end); an existing one
    // is replaced in place.
    void writeText(std::string_view group, std::string_view key, std::string_view value);
    void writeInteger(std::string_view group, std::string_view key, int32_t value);
    void writeReal(std::string_view group, std::string_view key, float value);
    // Inserts a comment line after the line written last when that line is in `group`,
    // otherwise at the end of `group` (a new group at the end).
    void writeComment(std::string_view group, std::string_view text);

    // The file as written: BOM, CR LF, then "[group]", "key = value" and "; comment" lines.
    // A CR or LF inside a name, value or comment is written as a space, so that no text can
    // break the line structure of the file.
    std::string serialize() const;
    // Writes `serialize()` to a temporary file beside `path` and renames it over `path`, so
    // a failed write never destroys the previous file. False when nothing was written.
    bool save(const std::string& path) const;

    struct Line {
        enum class Type { Group, Entry, Comment } type;
        std::string key;   // group name, entry key or comment text
        std::string value; // entry value
    };

    // Every group header, entry and comment in file order.
    const std::vector<Line>& lines() const { return m_lines; }

    // Files above this size are refused by `open`. Real configuration files, profiles and
    // translations are a few kilobytes; the parsed form of a file of very short lines takes
    // about 90 bytes per byte, so this also bounds the memory a hostile file can cost.
    static constexpr size_t k_maxFileSize = 1u << 20;

private:
    static constexpr size_t k_none = static_cast<size_t>(-1);

    size_t findGroup(std::string_view group) const;
    size_t groupEnd(size_t header) const;
    size_t findEntry(std::string_view group, std::string_view key) const;
    void insertLine(size_t at, Line line);
    size_t appendGroup(std::string_view group);

    std::vector<Line> m_lines;
    // Positions of the group headers in `m_lines`, ascending; lookups walk only these.
    std::vector<size_t> m_headers;
    size_t m_lastWritten = k_none;
};

// atoi-style: leading white space, optional sign and leading decimal digits, 0 otherwise; wraps
// like a 32-bit int.
int32_t parseInteger(std::string_view text);
// "+Infinity", "-Infinity", "NaN" in any case, else a decimal number with "." read as far as it
// goes (base::readFloat), whatever the process locale; leading white space skipped, 0 when
// nothing is readable, out-of-range values become infinities or zero.
float parseReal(std::string_view text);
// "%f" in the C locale, or "+Infinity", "-Infinity", "NaN".
std::string formatReal(float value);

} // namespace kx::settings
