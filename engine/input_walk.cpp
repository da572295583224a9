#include "engine/input_walk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace kx::engine {

namespace {

using FolderId = std::pair<dev_t, ino_t>;

std::string systemReason(int error) {
    return std::strerror(error);
}

class FolderWalk {
public:
    FolderWalk(JobQueue& queue, const InputWalk& walk) : m_queue(queue), m_walk(walk) {
        struct stat facts {};
        if (!walk.outputFolder.empty() && stat(walk.outputFolder.c_str(), &facts) == 0)
            m_outputFolder = {facts.st_dev, facts.st_ino};
    }

    size_t added() const { return m_added; }

    void addFile(const std::string& path, const struct stat& facts, const std::string& subfolder,
                 bool named) {
        if (!hasAcceptedExtension(path, m_walk.acceptedExtensions)) {
            // Files met in a folder are simply not inputs; a file named by the user says why.
            if (named)
                add(path, subfolder, "its name does not end in a TIFF extension");
            return;
        }
        // A pipe or a device would be read without end, or not at all.
        add(path, subfolder,
            !S_ISREG(facts.st_mode) ? "not a regular file"
            : facts.st_size == 0    ? "the file is empty"
                                    : "");
    }

    // Every accepted file below `root`, without recursion so that deep trees cannot exhaust
    // the stack.
    void addFolder(const std::string& root, const std::string& subfolder,
                   const struct stat& facts) {
        m_seen.insert({facts.st_dev, facts.st_ino});
        m_root = root;
        m_rootSubfolder = subfolder;
        std::vector<std::string> pending{""}; // folders below root still to read, last first
        while (!pending.empty()) {
            const std::string below = std::move(pending.back());
            pending.pop_back();
            readFolder(below, pending);
        }
    }

private:
    void add(const std::string& path, const std::string& subfolder, const std::string& problem) {
        const std::string kept = m_walk.keepSubfolders ? subfolder : std::string();
        if (m_walk.onlyOnce && problem.empty()) {
            if (m_queue.addOnce(path, kept))
                ++m_added;
            return;
        }
        m_queue.add(path, kept, problem);
        ++m_added;
    }

    // Reads the folder `below` the root; the subfolders to read next go to `pending`.
    void readFolder(const std::string& below, std::vector<std::string>& pending) {
        const std::string folder = m_root + below;
        const std::string subfolder = m_rootSubfolder + below;
        DIR* stream = opendir(folder.c_str());
        if (!stream) {
            add(folder, subfolder, "cannot read the folder: " + systemReason(errno));
            return;
        }
        std::vector<std::string> names;
        while (const dirent* entry = readdir(stream)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..")
                names.emplace_back(name);
        }
        closedir(stream);
        std::sort(names.begin(), names.end());

        std::vector<std::string> folders;
        for (const std::string& name : names) {
            const std::string path = folder + name;
            struct stat facts {};
            if (stat(path.c_str(), &facts) != 0) {
                // A dangling link names nothing to convert; anything else is reported.
                if (errno != ENOENT)
                    add(path, subfolder, "cannot read it: " + systemReason(errno));
                continue;
            }
            if (S_ISDIR(facts.st_mode)) {
                const FolderId id{facts.st_dev, facts.st_ino};
                if (id != m_outputFolder && m_seen.insert(id).second)
                    folders.push_back(below + name + "/");
            } else {
                addFile(path, facts, subfolder, false);
            }
        }
        pending.insert(pending.end(), folders.rbegin(), folders.rend());
    }

    JobQueue& m_queue;
    const InputWalk& m_walk;
    FolderId m_outputFolder{};
    std::string m_root;          // the folder being walked, with trailing "/"
    std::string m_rootSubfolder; // the subfolder its own files get
    std::set<FolderId> m_seen;
    size_t m_added = 0;
};

} // namespace

size_t queueInput(JobQueue& queue, const std::string& path, const InputWalk& walk,
                  const std::string& subfolder) {
    FolderWalk folders(queue, walk);
    struct stat facts {};
    if (stat(path.c_str(), &facts) != 0) {
        queue.add(path, "", systemReason(errno));
        return 1;
    }
    if (S_ISDIR(facts.st_mode))
        folders.addFolder(path.ends_with('/') ? path : path + "/", subfolder, facts);
    else
        folders.addFile(path, facts, subfolder, true);
    return folders.added();
}

std::string relativeFolderOf(const std::string& path) {
    if (path.starts_with('/'))
        return {};
    std::string folder;
    for (size_t start = 0, slash; (slash = path.find('/', start)) != std::string::npos;
         start = slash + 1) {
        const std::string_view part(path.data() + start, slash - start);
        if (part == "..")
            return {};
        if (!part.empty() && part != ".")
            folder.append(part).push_back('/');
    }
    return folder;
}

} // namespace kx::engine
