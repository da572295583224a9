#include "ui/input_queue.h"

#include "base/paths.h"
#include "base/text_format.h"
#include "settings/string_table.h"
#include "ui/progress_text.h"

#include <algorithm>
#include <filesystem>

namespace kx::ui {

namespace {

// Enough to see what a list holds without a box or tooltip taller than the screen.
constexpr size_t k_refusalsShown = 5;
constexpr size_t k_namesShown = 4;
constexpr size_t k_pathsListed = 15;

std::string moreText(size_t more) {
    return "... and " + std::to_string(more) + " more";
}

// Why nothing below `found` can be converted: the first problem met, else the lack of files.
std::string nothingToConvert(const engine::JobQueue& found) {
    for (size_t index = 0; index < found.size(); ++index) {
        if (found[index].problem.empty())
            return {};
    }
    return found.empty() ? "there is no TIFF file in it" : std::string(found[0].problem);
}

} // namespace

std::vector<RefusedInput> findInputs(const std::vector<std::string>& paths,
                                     const engine::InputWalk& walk, engine::JobQueue& found) {
    std::vector<RefusedInput> refused;
    for (const std::string& path : paths) {
        // A TIFF name that names nothing is queued all the same, as a single input file is:
        // the run then says that it cannot be opened.
        std::error_code error;
        if (!std::filesystem::exists(path, error) &&
            engine::hasAcceptedExtension(path, walk.acceptedExtensions)) {
            found.add(path);
            continue;
        }
        engine::JobQueue named;
        engine::queueInput(named, path, walk);
        if (std::string why = nothingToConvert(named); !why.empty()) {
            refused.push_back({path, std::move(why)});
            continue;
        }
        for (size_t index = 0; index < named.size(); ++index) {
            const engine::JobQueue::Entry entry = named[index];
            found.add(entry.path, entry.subfolder, entry.problem);
        }
    }
    return refused;
}

std::string refusalText(const std::vector<RefusedInput>& refused) {
    const std::string unable = settings::lookupText("Msg", "Unable to open file");
    std::string text;
    for (size_t index = 0; index < std::min(refused.size(), k_refusalsShown); ++index) {
        if (index > 0)
            text += "\r\n\r\n";
        text += base::formatText(unable, refused[index].path) + "\r\n" +
                asSentence(refused[index].why) + ".";
    }
    if (refused.size() > k_refusalsShown)
        text += "\r\n\r\n" + moreText(refused.size() - k_refusalsShown);
    return text;
}

std::string queueSummary(const engine::JobQueue& queue,
                         const std::function<bool(const std::string&)>& fits) {
    if (queue.size() <= 1)
        return queue.empty() ? std::string() : std::string(queue[0].path);
    const std::string count = base::formatText(settings::lookupText("General", "Files queued"),
                                               std::to_string(queue.size()));
    for (size_t names = std::min(queue.size(), k_namesShown); names > 0; --names) {
        std::string text = count + ": ";
        for (size_t index = 0; index < names; ++index) {
            const std::string path(queue[index].path);
            text += (index > 0 ? ", " : "") + path.substr(base::folderPart(path).size());
        }
        if (names < queue.size())
            text += ", ...";
        if (fits(text))
            return text;
    }
    return count;
}

std::string queueListing(const engine::JobQueue& queue) {
    std::string text;
    for (size_t index = 0; index < std::min(queue.size(), k_pathsListed); ++index) {
        if (index > 0)
            text += '\n';
        text += queue[index].path;
    }
    if (queue.size() > k_pathsListed) {
        text += '\n';
        text += moreText(queue.size() - k_pathsListed);
    }
    return text;
}

} // namespace kx::ui
