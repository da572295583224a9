#include "ui/progress_text.h"

#include <QString>

#include <cstdio>

namespace kx::ui {

std::string formatDuration(int64_t milliseconds) {
    if (milliseconds < 1000)
        return "00:00:00";
    int64_t seconds = milliseconds / 1000;
    const int64_t days = seconds / 86400;
    seconds %= 86400;
    char text[64];
    const int hours = static_cast<int>(seconds / 3600);
    const int minutes = static_cast<int>(seconds / 60 % 60);
    const int rest = static_cast<int>(seconds % 60);
    if (days >= 1)
        std::snprintf(text, sizeof text, "%lldd:%02d:%02d:%02d", static_cast<long long>(days),
                      hours, minutes, rest);
    else
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", hours, minutes, rest);
    return text;
}

std::string shortenMiddle(const std::string& text, int capacity) {
    const QString wide = QString::fromStdString(text);
    if (wide.size() <= capacity)
        return text;
    const int keep = capacity > 3 ? (capacity - 3) / 2 : 0;
    return (wide.left(keep) + "..." + wide.right(keep)).toStdString();
}

std::string asSentence(const std::string& text) {
    QString wide = QString::fromStdString(text);
    if (!wide.isEmpty())
        wide[0] = wide[0].toUpper();
    return wide.toStdString();
}

std::string failureLine(const std::string& path, const std::string& why) {
    return asSentence(why.find(path) != std::string::npos ? why : path + ": " + why);
}

int stepsDone(const RunPosition& at) {
    if (at.jobCount <= 0 || at.jobIndex <= 0)
        return 0;
    int64_t done = int64_t{at.jobIndex - 1} * k_runSteps;
    if (at.pageCount > 0 && at.pageIndex > 0)
        done += int64_t{at.pageIndex - 1} * k_runSteps / at.pageCount;
    return static_cast<int>(done / at.jobCount);
}

std::pair<int32_t, int32_t> titleCount(const RunPosition& at) {
    if (at.jobCount == 1 && at.pageCount > 1)
        return {at.pageIndex, at.pageCount};
    return {at.jobIndex, at.jobCount};
}

int64_t remainingMs(int done, int64_t elapsedMs) {
    if (done <= 0)
        return -1;
    return elapsedMs * (k_runSteps - done) / done;
}

} // namespace kx::ui
