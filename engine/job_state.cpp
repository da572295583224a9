#include "engine/job_state.h"

#include "base/paths.h"
#include "base/text.h"
#include "imaging/format_registry.h"
#include "settings/settings.h"

#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <random>
#include <system_error>

namespace kx::engine {

namespace {

bool isAccepted(const std::string& extension, const std::string& accepted) {
    size_t start = 0;
    while (start <= accepted.size()) {
        const size_t comma = std::min(accepted.find(',', start), accepted.size());
        if (accepted.compare(start, comma - start, extension) == 0 && !extension.empty())
            return true;
        start = comma + 1;
    }
    return false;
}

} // namespace

bool hasAcceptedExtension(const std::string& path, const std::string& acceptedExtensions) {
    return isAccepted(base::lowerCase(base::extensionOf(path)), acceptedExtensions);
}

void JobQueue::add(std::string_view path, std::string_view subfolder, std::string_view problem) {
    m_entries.push_back({m_text.size(), path.size(), subfolder.size(), problem.size()});
    m_text.append(path).append(subfolder).append(problem);
    if (m_indexed)
        m_byHash.emplace(std::hash<std::string_view>{}(path), m_entries.size() - 1);
}

bool JobQueue::addOnce(std::string_view path, std::string_view subfolder,
                       std::string_view problem) {
    if (!m_indexed) {
        for (size_t index = 0; index < size(); ++index)
            m_byHash.emplace(std::hash<std::string_view>{}((*this)[index].path), index);
        m_indexed = true;
    }
    if (contains(path))
        return false;
    add(path, subfolder, problem);
    return true;
}

bool JobQueue::contains(std::string_view path) const {
    const auto samePath = [&](size_t index) { return (*this)[index].path == path; };
    if (!m_indexed) {
        for (size_t index = 0; index < size(); ++index) {
            if (samePath(index))
                return true;
        }
        return false;
    }
    const auto [first, last] = m_byHash.equal_range(std::hash<std::string_view>{}(path));
    return std::any_of(first, last, [&](const auto& hit) { return samePath(hit.second); });
}

void JobQueue::clear() {
    m_text.clear();
    m_entries.clear();
    m_byHash.clear();
    m_indexed = false;
}

JobQueue::Entry JobQueue::operator[](size_t index) const {
    const Stored& stored = m_entries[index];
    const char* at = m_text.data() + stored.start;
    return {{at, stored.pathSize},
            {at + stored.pathSize, stored.subfolderSize},
            {at + stored.pathSize + stored.subfolderSize, stored.problemSize}};
}

int32_t drawRandomNumber() {
    // Seeded by the kernel: std::random_device asks the processor first, which costs a program
    // that runs for milliseconds more than it is worth.
    static std::mt19937 generator{[] {
        uint32_t seed = 0;
        if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed))
            seed = static_cast<uint32_t>(std::time(nullptr)) ^ static_cast<uint32_t>(getpid());
        return seed;
    }()};
    return std::uniform_int_distribution<int32_t>{1, 99999}(generator);
}

std::string subfolderOf(const std::string& path, const std::string& rootFolder) {
    if (path.empty() || rootFolder.empty())
        return {};
    const std::string folder = base::folderPart(path);
    const auto at = folder.find(rootFolder);
    if (at == std::string::npos)
        return {};
    std::string rest = folder;
    rest.erase(at, rootFolder.size());
    return rest;
}

void resetJobState(JobState& state, JobQueue& queue) {
    state = JobState{};
    state.programFolder = base::programFolder();
    state.randomNumber = drawRandomNumber();
    state.sequenceNumber = 1;
    queue.clear();
    state.acceptedExtensions = imaging::acceptedInputExtensions(settings::inputFormatList());
}

bool setInputFile(JobState& state, JobQueue& queue, const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error) &&
        std::filesystem::file_size(path, error) == 0 && !error)
        return false;
    if (!hasAcceptedExtension(path, state.acceptedExtensions))
        return false;
    queue.clear();
    queue.add(path, subfolderOf(path, state.commandLineInputPath));
    return true;
}

JobState& globalJobState() {
    static JobState state;
    return state;
}

JobQueue& globalJobQueue() {
    static JobQueue queue;
    return queue;
}

} // namespace kx::engine
