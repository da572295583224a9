#include "ui/recent_folders.h"

#include "base/text.h"

#include <QString>

#include <zlib.h>

namespace kx::ui {

namespace {

// "/a/data" and "/a/data/" name one folder: trailing slashes do not count (the root keeps
// its one).
uLong folderChecksum(std::string_view path) {
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    const QByteArray upper =
        QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())).toUpper().toUtf8();
    return crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(upper.constData()),
                 static_cast<uInt>(upper.size()));
}

// The TAB-separated fields of the stored list, trimmed, up to `limit` of them (empty ones
// included, so that positions match the stored list).
std::vector<std::string> fields(const std::string& list, int limit) {
    std::vector<std::string> result;
    size_t start = 0;
    while (static_cast<int>(result.size()) < limit && start <= list.size()) {
        const size_t tab = list.find('\t', start);
        const size_t end = tab == std::string::npos ? list.size() : tab;
        result.emplace_back(base::trimmed(std::string_view(list).substr(start, end - start)));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    return result;
}

} // namespace

bool sameFolder(const std::string& a, const std::string& b) {
    return folderChecksum(a) == folderChecksum(b);
}

bool addRecentFolder(settings::Settings& settings, const std::string& folder) {
    if (folder.empty())
        return false;
    const int limit = settings.outFoldersNumber;
    std::string list = folder;
    int count = 1;
    for (const std::string& field : fields(settings.recentOutFolders, limit)) {
        if (count >= limit)
            break;
        if (field.empty() || sameFolder(field, folder))
            continue;
        list += '\t' + field;
        ++count;
    }
    settings.recentOutFolders = list;
    return true;
}

std::vector<std::string> recentFolderEntries(const settings::Settings& settings) {
    std::vector<std::string> entries;
    for (std::string& field : fields(settings.recentOutFolders, settings.outFoldersNumber)) {
        // Shown as every output folder is used: ending with its separator.
        if (!field.empty() && !field.ends_with('/'))
            field += '/';
        if (!field.empty())
            entries.push_back(std::move(field));
    }
    return entries;
}

} // namespace kx::ui
