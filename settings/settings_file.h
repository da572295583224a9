#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kx::settings {

// A file in the group/key/value settings syntax shared by the configuration file, settings
// profiles and translation files. Reading never fails on content: malformed lines are read
// by the syntax's rules. Text is UTF-8 in memory.
class SettingsFile {
public:
    // Reads and parses `path`; nullopt when it cannot be opened.
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
    // Appends a comment line after the last entry written to `group`.
    void writeComment(std::string_view group, std::string_view text);

    // The file as written: BOM, CR LF, then "[group]", "key = value" and "; comment" lines.
    std::string serialize() const;
    // Writes `serialize()` to a temporary file beside `path` and renames it over `path`, so
    // a failed write never destroys the previous file. False when nothing was written.
    bool save(const std::string& path) const;

    struct Line {
        enum class Type { Group, Entry, Comment } type;
        std::string key;   // group name, entry key or comment text
        std::string value; // entry value
    };

private:
    std::vector<Line> m_lines;
};

// atoi-style: optional sign and leading decimal digits, 0 otherwise; wraps like a 32-bit int.
int32_t parseInteger(std::string_view text);
// "+Infinity", "-Infinity", "NaN" in any case, else atof-style.
float parseReal(std::string_view text);
// "%f", or "+Infinity", "-Infinity", "NaN".
std::string formatReal(float value);

} // namespace kx::settings
