#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace kx::ui {

// The string table's text of `key` in `group`, for Qt's widgets.
QString uiText(std::string_view group, std::string_view key);

// UTF-8 text for Qt's widgets.
inline QString qtext(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace kx::ui
