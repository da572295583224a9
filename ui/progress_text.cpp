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

} // namespace kx::ui
