#include "ui/ui_text.h"

#include "ui/string_table.h"

namespace kx::ui {

QString uiText(std::string_view group, std::string_view key) {
    return qtext(lookupText(group, key));
}

} // namespace kx::ui
