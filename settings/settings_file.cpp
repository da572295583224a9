#include "settings/settings_file.h"

#include "base/file_replace.h"
#include "base/number_text.h"
#include "base/text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <new>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kx::settings {

namespace {

constexpr std::string_view k_byteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view k_lineEnd = "\r\n";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimLeft(std::string_view text) {
    size_t start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    return text.substr(start);
}

std::string_view trimRight(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && isBlank(text[end - 1]))
        --end;
    return text.substr(0, end);
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::optional<SettingsFile::Line> parseLine(std::string_view line) {
    using Type = SettingsFile::Line::Type;
    line = trimLeft(line);
    if (line.empty())
        return std::nullopt;
    if (line.front() == ';') {
        std::string_view text = line.substr(1);
        if (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        return SettingsFile::Line{Type::Comment, std::string(text), {}};
    }
    if (line.front() == '[') {
        std::string_view name = line.substr(1);
        name = name.substr(0, name.find(']'));
        return SettingsFile::Line{Type::Group, std::string(name), {}};
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return SettingsFile::Line{Type::Entry, std::string(trimRight(line)), {}};
    return SettingsFile::Line{Type::Entry, std::string(trimRight(line.substr(0, equals))),
                              std::string(trimLeft(line.substr(equals + 1)))};
}

// Line breaks inside a written text would start new lines of the file and could forge
// entries or groups.
std::string oneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return out;
}

bool readAll(int fd, std::string& out) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (out.size() + static_cast<size_t>(got) > SettingsFile::k_maxFileSize)
            return false; // grown since it was measured
        out.append(buffer, static_cast<size_t>(got));
    }
}

} // namespace

std::optional<SettingsFile> SettingsFile::open(const std::string& path) {
    // Not blocking on the open: a FIFO named as a profile would otherwise wait for a writer
    // forever. Only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat facts {};
    if (fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode) ||
        static_cast<uint64_t>(facts.st_size) > k_maxFileSize) {
        ::close(fd);
        return std::nullopt;
    }
    try {
        std::string bytes;
        bytes.reserve(static_cast<size_t>(facts.st_size));
        const bool read = readAll(fd, bytes);
        ::close(fd);
        if (!read)
            return std::nullopt;
        return parse(bytes);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return std::nullopt;
    }
}

SettingsFile SettingsFile::parse(std::string_view bytes) {
    std::string text;
    if (bytes.size() > 2 && bytes.starts_with(k_byteOrderMark))
        text = bytes.substr(k_byteOrderMark.size());
    else
        text = latin1ToUtf8(bytes);

    SettingsFile file;
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t end = rest.find_first_of("\r\n");
        const std::string_view line = rest.substr(0, end);
        if (auto parsed = parseLine(line)) {
            if (parsed->type == Line::Type::Group)
                file.m_headers.push_back(file.m_lines.size());
            file.m_lines.push_back(std::move(*parsed));
        }
        if (end == std::string_view::npos)
            break;
        const bool crLf = rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n';
        rest.remove_prefix(end + (crLf ? 2 : 1));
    }
    return file;
}

size_t SettingsFile::findGroup(std::string_view group) const {
    for (size_t header : m_headers) {
        if (base::equalsIgnoringCase(m_lines[header].key, group))
            return header;
    }
    return k_none;
}

size_t SettingsFile::groupEnd(size_t header) const {
    const auto next = std::upper_bound(m_headers.begin(), m_headers.end(), header);
    return next == m_headers.end() ? m_lines.size() : *next;
}

size_t SettingsFile::findEntry(std::string_view group, std::string_view key) const {
    const size_t header = findGroup(group);
    if (header == k_none)
        return k_none;
    const size_t end = groupEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        if (m_lines[i].type == Line::Type::Entry && base::equalsIgnoringCase(m_lines[i].key, key))
            return i;
    }
    return k_none;
}

bool SettingsFile::hasGroup(std::string_view group) const {
    return findGroup(group) != k_none;
}

std::string SettingsFile::readText(std::string_view group, std::string_view key,
                                   const std::string& fallback) const {
    const size_t entry = findEntry(group, key);
    if (entry == k_none)
        return fallback;
    return std::string(trimRight(m_lines[entry].value));
}

int32_t SettingsFile::readInteger(std::string_view group, std::string_view key,
                                  int32_t fallback) const {
    const size_t entry = findEntry(group, key);
    return entry == k_none ? fallback : parseInteger(m_lines[entry].value);
}

float SettingsFile::readReal(std::string_view group, std::string_view key, float fallback) const {
    const size_t entry = findEntry(group, key);
    return entry == k_none ? fallback : parseReal(m_lines[entry].value);
}

std::vector<std::pair<std::string, std::string>>
SettingsFile::entries(std::string_view group) const {
    std::vector<std::pair<std::string, std::string>> result;
    const size_t header = findGroup(group);
    if (header == k_none)
        return result;
    const size_t end = groupEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        if (m_lines[i].type == Line::Type::Entry)
            result.emplace_back(m_lines[i].key, m_lines[i].value);
    }
    return result;
}

void SettingsFile::insertLine(size_t at, Line line) {
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    for (size_t& header : m_headers) {
        if (header >= at)
            ++header;
    }
    m_lastWritten = at;
}

size_t SettingsFile::appendGroup(std::string_view group) {
    m_headers.push_back(m_lines.size());
    m_lines.push_back({Line::Type::Group, std::string(group), {}});
    return m_headers.back();
}

void SettingsFile::writeText(std::string_view group, std::string_view key, std::string_view value) {
    const size_t entry = findEntry(group, key);
    if (entry != k_none) {
        m_lines[entry].value = std::string(value);
        m_lastWritten = entry;
        return;
    }
    size_t header = findGroup(group);
    if (header == k_none)
        header = appendGroup(group);
    insertLine(groupEnd(header), {Line::Type::Entry, std::string(key), std::string(value)});
}

void SettingsFile::writeInteger(std::string_view group, std::string_view key, int32_t value) {
    writeText(group, key, std::to_string(value));
}

void SettingsFile::writeReal(std::string_view group, std::string_view key, float value) {
    writeText(group, key, formatReal(value));
}

void SettingsFile::writeComment(std::string_view group, std::string_view text) {
    size_t header = findGroup(group);
    if (header == k_none)
        header = appendGroup(group);
    const size_t end = groupEnd(header);
    const bool lastInGroup =
        m_lastWritten != k_none && m_lastWritten > header && m_lastWritten < end;
    insertLine(lastInGroup ? m_lastWritten + 1 : end, {Line::Type::Comment, std::string(text), {}});
}

std::string SettingsFile::serialize() const {
    std::string out;
    out += k_byteOrderMark;
    out += k_lineEnd;
    for (const Line& line : m_lines) {
        switch (line.type) {
        case Line::Type::Group:
            out += '[';
            out += oneLine(line.key);
            out += ']';
            break;
        case Line::Type::Entry:
            out += oneLine(line.key);
            out += " = ";
            out += oneLine(line.value);
            break;
        case Line::Type::Comment:
            out += "; ";
            out += oneLine(line.key);
            break;
        }
        out += k_lineEnd;
    }
    return out;
}

bool SettingsFile::save(const std::string& path) const {
    try {
        return base::replaceFileContent(path, serialize());
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int32_t parseInteger(std::string_view text) {
    return base::readInteger(base::trimmed(text), base::Overflow::Wrap).value;
}

float parseReal(std::string_view text) {
    // The file always uses a point, whatever the process locale.
    return base::realOfText(base::trimmed(text));
}

std::string formatReal(float value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "+Infinity" : "-Infinity";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                      std::chars_format::fixed, 6);
    if (result.ec != std::errc{})
        return "0.000000";
    return std::string(buffer, result.ptr);
}

} // namespace kx::settings
