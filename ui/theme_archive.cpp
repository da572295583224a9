#include "ui/theme_archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace kx::ui {

namespace {

struct ArchiveCloser {
    void operator()(archive* handle) const { archive_read_free(handle); }
};
using ArchiveHandle = std::unique_ptr<archive, ArchiveCloser>;

// Opens the archive file at `path`, or `bytes` when there is no path, as a zip archive. Only
// the zip reader is enabled, so no other format or compression filter is ever run on a theme
// file. Both readers can seek, so the directory at the archive's end is read without reading
// the entries before it.
ArchiveHandle openZip(const std::string& path, const std::string& bytes) {
    constexpr std::size_t k_blockBytes = 16384;
    ArchiveHandle handle(archive_read_new());
    if (!handle)
        return nullptr;
    archive_read_support_format_zip(handle.get());
    const int opened = path.empty()
                           ? archive_read_open_memory(handle.get(), bytes.data(), bytes.size())
                           : archive_read_open_filename(handle.get(), path.c_str(), k_blockBytes);
    if (opened != ARCHIVE_OK)
        return nullptr;
    return handle;
}

} // namespace

bool ThemeArchive::openFile(const std::string& path) {
    m_bytes.clear();
    m_entries.clear();
    m_path.clear();
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size == 0)
        return false;
    m_path = path;
    return readDirectory();
}

bool ThemeArchive::openBytes(std::string bytes) {
    m_entries.clear();
    m_bytes.clear();
    m_path.clear();
    if (bytes.empty() || bytes.size() > k_maxArchiveBytes)
        return false;
    m_bytes = std::move(bytes);
    return readDirectory();
}

bool ThemeArchive::readDirectory() {
    ArchiveHandle handle = openZip(m_path, m_bytes);
    if (!handle) {
        m_bytes.clear();
        m_path.clear();
        return false;
    }
    archive_entry* entry = nullptr;
    std::size_t seen = 0;
    int status = ARCHIVE_OK;
    while (seen < k_maxEntries &&
           (status = archive_read_next_header(handle.get(), &entry)) == ARCHIVE_OK) {
        ++seen;
        const char* name = archive_entry_pathname(entry);
        if (!name || !archive_entry_size_is_set(entry) || archive_entry_size(entry) <= 0)
            continue;
        m_entries.emplace(name, archive_entry_size(entry)); // the first of equal names counts
    }
    // A damaged directory after some good entries still leaves those entries readable; an
    // archive whose first header cannot be read is not a zip archive at all.
    if (seen == 0 && status != ARCHIVE_EOF) {
        m_bytes.clear();
        m_path.clear();
        m_entries.clear();
        return false;
    }
    return true;
}

std::optional<std::string> ThemeArchive::readEntry(std::string_view name) const {
    return unpack(name, k_maxEntryBytes, false);
}

std::optional<std::string> ThemeArchive::readEntryPrefix(std::string_view name,
                                                         std::size_t limit) const {
    return unpack(name, std::min(limit, k_maxEntryBytes), true);
}

std::optional<std::string> ThemeArchive::unpack(std::string_view name, std::size_t limit,
                                                bool cut) const {
    const auto listed = m_entries.find(name);
    if (listed == m_entries.end())
        return std::nullopt;
    const auto stated = static_cast<std::uint64_t>(listed->second);
    if (!cut && stated > limit)
        return std::nullopt;
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(stated, limit));

    ArchiveHandle handle = openZip(m_path, m_bytes);
    if (!handle)
        return std::nullopt;
    archive_entry* entry = nullptr;
    for (std::size_t seen = 0; seen < k_maxEntries; ++seen) {
        if (archive_read_next_header(handle.get(), &entry) != ARCHIVE_OK)
            return std::nullopt;
        const char* entryName = archive_entry_pathname(entry);
        if (entryName && name == entryName)
            break;
        entry = nullptr;
    }
    if (!entry)
        return std::nullopt;

    // Read one byte more than wanted so that an entry unpacking to more than it states is
    // caught without unpacking the rest of it.
    std::string data(wanted + 1, '\0');
    std::size_t filled = 0;
    while (filled < data.size()) {
        const la_ssize_t got =
            archive_read_data(handle.get(), data.data() + filled, data.size() - filled);
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    // More than the stated size is a lie; so is less. Only a cut read may stop early.
    const bool cutShort = cut && wanted < stated;
    if (filled > wanted && !cutShort)
        return std::nullopt;
    if (filled < wanted)
        return std::nullopt;
    data.resize(wanted);
    return data;
}

} // namespace kx::ui
