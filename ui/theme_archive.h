#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kx::ui {

// A UI theme's zip archive, read with libarchive from its file (or from memory). Only the
// directory and the entries asked for are read, so a large archive costs little when only
// its name is wanted. Every read is bounded: the number of entries and each unpacked entry
// (and an archive in memory), so a hostile archive cannot exhaust memory. No Qt; any thread,
// one object per thread.
class ThemeArchive {
public:
    static constexpr std::size_t k_maxArchiveBytes = 64u << 20;
    static constexpr std::size_t k_maxEntryBytes = 8u << 20;
    static constexpr std::size_t k_maxEntries = 4096;

    // Reads the directory of the archive file at `path`; entries are read from the file when
    // asked for. False when the file is missing, empty or not a zip archive; the archive is
    // then empty.
    bool openFile(const std::string& path);
    // The same for an archive already in memory; one larger than k_maxArchiveBytes is refused.
    bool openBytes(std::string bytes);

    // Entry name -> uncompressed size, as the directory states it. Entries of size 0 or of
    // unknown size are left out; so are entries past k_maxEntries.
    const std::map<std::string, std::int64_t, std::less<>>& entries() const { return m_entries; }
    bool hasEntry(std::string_view name) const { return m_entries.find(name) != m_entries.end(); }

    // Unpacks the entry `name` into memory. nullopt when the entry is not in the directory,
    // states a size above k_maxEntryBytes, cannot be decompressed, or unpacks to more or
    // fewer bytes than it states (a lying size is how zip bombs get past a size check).
    std::optional<std::string> readEntry(std::string_view name) const;
    // Unpacks at most the first `limit` bytes of the entry `name`; nullopt as above, except
    // that a longer entry is cut instead of refused.
    std::optional<std::string> readEntryPrefix(std::string_view name, std::size_t limit) const;

private:
    bool readDirectory();
    std::optional<std::string> unpack(std::string_view name, std::size_t limit, bool cut) const;

    std::string m_path; // the archive file, or empty for an archive in m_bytes
    std::string m_bytes;
    std::map<std::string, std::int64_t, std::less<>> m_entries;
};

} // namespace kx::ui
