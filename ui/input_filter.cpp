#include "ui/input_filter.h"

#include "imaging/format_registry.h"
#include "settings/settings.h"
#include "settings/string_table.h"

#include <QStringList>

#include <map>
#include <sstream>

namespace kx::ui {

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(part);
    return parts;
}

} // namespace

std::string inputFileFilter() {
    // Every accepted extension is listed, not only the format keys: the key "tiff" alone
    // would hide every ".tif" file.
    std::string patterns;
    std::map<std::string, std::string> byDescription;
    for (const std::string& extension :
         split(imaging::acceptedInputExtensions(settings::inputFormatList()), ',')) {
        const auto known = imaging::findInputExtension(extension);
        patterns += "*." + extension + ";";
        std::string& entry = byDescription[known ? known->description : extension];
        entry = entry.empty() ? "*." + extension : "*." + extension + ";" + entry;
    }
    if (!patterns.empty())
        patterns.pop_back();

    std::string filter =
        settings::lookupText("Dialog", "All Supported Files") + "|" + patterns + "|";
    for (const auto& [description, entry] : byDescription)
        filter += description + "|" + entry + "|";
    return filter + settings::lookupText("Dialog", "All Files") + " (*.*)|*.*";
}

QString toQtFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        if (patterns == "*.*")
            patterns = "*";
        QString name = parts[i];
        if (const qsizetype open = name.lastIndexOf(" ("); open >= 0 && name.endsWith(')'))
            name.truncate(open);
        entries << name + " (" + patterns + ")";
    }
    return entries.join(";;");
}

} // namespace kx::ui
